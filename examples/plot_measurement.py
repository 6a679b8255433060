"""A measurement with error bars: the pendulum's g from lengths and periods.

Ten pendulum lengths L (measured to +-1 mm) and their periods T (to +-5 ms) give
g = 4 pi^2 L / T^2 as balls. The first-order and the rigorous radii are drawn
side by side: for measurement uncertainties of this size the rounding errors
the rigorous model adds are invisible, which is the point of the picture.

    python3 examples/plot_measurement.py [OUTPUT.png]
"""
from __future__ import annotations

import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import quorvex as qv  # noqa: E402


def measurements(rigorous: bool) -> tuple[qv.BallArray, qv.BallArray]:
    lengths = np.linspace(0.2, 2.0, 10)  # metres
    periods = 2 * np.pi * np.sqrt(lengths / 9.81) * (1 + 0.002 * np.sin(7 * lengths))
    return (qv.BallArray(lengths, 1e-3, rigorous=rigorous),
            qv.BallArray(periods, 5e-3, rigorous=rigorous))


def gravity(length: qv.BallArray, period: qv.BallArray) -> qv.BallArray:
    return 4 * np.pi**2 * length / period**2


def main(output: str = "measurement.png") -> None:
    first = gravity(*measurements(False))
    rigorous = gravity(*measurements(True))
    lengths = np.linspace(0.2, 2.0, 10)
    fig, ax = plt.subplots(figsize=(7, 4))
    ax.errorbar(lengths - 0.015, first.mid, yerr=first.rad, fmt="o", capsize=3,
                label="first-order model")
    ax.errorbar(lengths + 0.015, rigorous.mid, yerr=rigorous.rad, fmt="s", capsize=3,
                label="rigorous model")
    ax.axhline(9.81, color="grey", lw=0.8, ls="--", label="9.81 m/s²")
    ax.set_xlabel("pendulum length L (m)")
    ax.set_ylabel("g = 4π²L/T² (m/s²)")
    ax.set_title("Balls from measurements: L ± 1 mm, T ± 5 ms")
    ax.legend(loc="lower right")
    fig.tight_layout()
    fig.savefig(output, dpi=110)
    plt.close(fig)


if __name__ == "__main__":
    main(*sys.argv[1:])
