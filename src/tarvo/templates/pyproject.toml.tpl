[build-system]
requires = ["setuptools>=77", "wheel"]
build-backend = "setuptools.build_meta"

[project]
name = "{name}"
version = "0.1.0"
description = "{description}"
requires-python = "{python_version}"
license = "{license_spdx}"
authors = [{{ name = "{author_name}", email = "{author_email}" }}]
dependencies = []

[project.optional-dependencies]
test = ["pytest>=8"]
dev = []

[tool.pyright]
exclude = [".venv", "build", "dist", "wheelhouse"]

[tool.ruff]
exclude = [".venv", "build", "dist", "wheelhouse"]
