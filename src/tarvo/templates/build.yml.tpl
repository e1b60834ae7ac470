name: "build"

on:
  push:
  pull_request:

jobs:
  check:
    name: "{project_name}: lint and test"
    runs-on: ubuntu-latest
    steps:
      - uses: actions/checkout@v4
      - uses: actions/setup-python@v5
        with:
          python-version: "3.11"
      - name: "Install tarvo"
        run: pip install tarvo
      - name: "Lint"
        run: tarvo lint --workflow
      - name: "Test"
        # A project fresh from tarvo init has no tests yet.
        if: hashFiles('tests/**') != ''
        run: tarvo test

  build:
    name: "{project_name}: build"
    needs: check
    runs-on: ubuntu-latest
    steps:
      - uses: actions/checkout@v4
      - uses: actions/setup-python@v5
        with:
          python-version: "3.11"
      - name: "Install tarvo"
        run: pip install tarvo
      - name: "Build source distribution and wheel"
        run: tarvo build --sdist --wheel
      - uses: actions/upload-artifact@v4
        with:
          name: "{project_name}-dist"
          path: dist/
