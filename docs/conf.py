"""Sphinx configuration of the quorvex documentation.

    python3 -m sphinx -W -b html docs build/docs

The pictures of the guide are drawn by the scripts in examples/ at every build,
from the installed package, so they always show what the code does.
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

project = "quorvex"
author = "the quorvex developers"
copyright = "2026, the quorvex developers"

extensions = [
    "sphinx.ext.autodoc",
    "sphinx.ext.autosummary",
    "sphinx.ext.doctest",
    "sphinx.ext.mathjax",
    "numpydoc",
]
html_theme = "pydata_sphinx_theme"
html_title = "quorvex"
html_static_path = ["_generated"]
templates_path = []
exclude_patterns = ["_build", "_generated"]
autosummary_generate = True
numpydoc_show_class_members = False
numpydoc_class_members_toctree = False
autodoc_default_options = {"members": True, "undoc-members": False}
doctest_global_setup = "import numpy as np\nimport quorvex as qv"

# The pictures, drawn by the example scripts into docs/_generated.
_generated = os.path.join(ROOT, "docs", "_generated")
os.makedirs(_generated, exist_ok=True)
for script, picture in (("plot_measurement.py", "measurement.png"),
                        ("plot_enclosure.py", "enclosure.png")):
    subprocess.run([sys.executable, os.path.join(ROOT, "examples", script),
                    os.path.join(_generated, picture)], check=True)
