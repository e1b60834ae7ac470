[build-system]
requires = ["setuptools>=77", "wheel"]
build-backend = "setuptools.build_meta"

[project]
name = "{name}"
version = "0.1.0"
description = "{description}"
readme = {{ text = """
{description}

This is the {name} package. Install it with pip; work on it with tarvo: tarvo test runs its
tests, tarvo lint checks it and tarvo build builds it.
""", content-type = "text/plain" }}
requires-python = "{python_version}"
license = "{license_spdx}"
authors = [{{ name = "{author_name}", email = "{author_email}" }}]
keywords = ["{name}"]
classifiers = [
    "Development Status :: 3 - Alpha",
    "Programming Language :: Python :: 3",
    "Programming Language :: Python :: 3 :: Only",
    "Programming Language :: Python :: 3.11",
]
dependencies = []

[project.urls]
Homepage = "https://pypi.org/project/{name}/"

[project.optional-dependencies]
test = ["pytest>=8"]
dev = []

[tool.pyright]
exclude = [".venv", "build", "dist", "wheelhouse"]

[tool.ruff]
exclude = [".venv", "build", "dist", "wheelhouse"]
