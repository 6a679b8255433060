"""The enclosure of a function over a range cut into balls, for both models.

Left: sin(x) e^(-x/3) over [0, 6] cut into 24 balls; each ball's image is drawn
as a box around the true curve, in both models alike. Right: the expanded
(x - 1)^7, evaluated by Horner's rule at points near 1, where rounding errors
are all there is: the first-order boxes have no height and miss the true
curve, the rigorous ones contain it.

    python3 examples/plot_enclosure.py [OUTPUT.png]
"""
from __future__ import annotations

import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.axes import Axes  # noqa: E402
from matplotlib.patches import Rectangle  # noqa: E402
import numpy as np  # noqa: E402

import quorvex as qv  # noqa: E402

COEFFICIENTS = (1, -7, 21, -35, 35, -21, 7, -1)


def smooth(x: qv.BallArray) -> qv.BallArray:
    return x.sin() * (-x / 3).exp()


def horner(x: qv.BallArray) -> qv.BallArray:
    result = x * 0 + COEFFICIENTS[0]
    for c in COEFFICIENTS[1:]:
        result = result * x + c
    return result


def boxes(ax: Axes, x: qv.BallArray, y: qv.BallArray, color: str, width: float,
          label: str) -> None:
    for xm, xr, ym, yr in zip(x.mid, x.rad, y.mid, y.rad):
        ax.add_patch(Rectangle((xm - xr, ym - yr), 2 * xr, 2 * yr, fill=False,
                               edgecolor=color, lw=width))
    ax.plot([], [], color=color, lw=width, label=label)


def main(output: str = "enclosure.png") -> None:
    fig, (left, right) = plt.subplots(1, 2, figsize=(11, 4))
    edges = np.linspace(0, 6, 25)
    cut = qv.BallArray((edges[1:] + edges[:-1]) / 2, (edges[1] - edges[0]) / 2)
    t = np.linspace(0, 6, 400)
    left.plot(t, np.sin(t) * np.exp(-t / 3), color="black", lw=1, label="sin(x) e^(-x/3)")
    boxes(left, cut, smooth(cut), "tab:blue", 3.0, "first-order boxes")
    boxes(left, cut.as_rigorous(), smooth(cut.as_rigorous()), "tab:orange", 1.0,
          "rigorous boxes (the same here)")
    left.set_title("A range cut into 24 balls")
    left.legend(loc="upper right")

    points = np.linspace(0.995, 1.005, 11)
    first, rigorous = horner(qv.BallArray(points)), horner(qv.BallArray(points, rigorous=True))
    t = np.linspace(0.995, 1.005, 400)
    right.plot(t, (t - 1) ** 7, color="black", lw=1, label="(x - 1)^7")
    right.plot(points, first.mid, "o", color="tab:blue", label="first order: radius 0")
    right.errorbar(points, rigorous.mid, yerr=rigorous.rad, fmt="none", color="tab:orange",
                   capsize=4, label="rigorous balls")
    right.set_title("Horner's rule for the expanded (x - 1)^7")
    right.legend(loc="upper left")
    for ax in (left, right):
        ax.set_xlabel("x")
        ax.autoscale_view()
    fig.tight_layout()
    fig.savefig(output, dpi=110)
    plt.close(fig)


if __name__ == "__main__":
    main(*sys.argv[1:])
