#!/usr/bin/env python3
# seeds.py OUT: writes a seed corpus for each fuzz target into OUT/<target>/, from the packaging
# test vectors and the project template.
import json, os, sys

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
out = sys.argv[1]
data = os.path.join(root, "tests", "data", "packaging")


def strings(value):
    """Every string inside a JSON value."""
    if isinstance(value, str):
        yield value
    elif isinstance(value, list):
        for item in value:
            yield from strings(item)
    elif isinstance(value, dict):
        for item in value.values():
            yield from strings(item)


def write(target, texts):
    folder = os.path.join(out, target)
    os.makedirs(folder, exist_ok=True)
    for i, text in enumerate(sorted(set(texts))):
        with open(os.path.join(folder, f"seed-{i:05d}"), "w", encoding="utf-8",
                  errors="surrogatepass") as f:
            f.write(text)


for target, file in [("version", "versions.json"), ("specifier", "specifiers.json"),
                     ("marker", "markers.json"), ("requirement", "requirements.json")]:
    with open(os.path.join(data, file), encoding="utf-8") as f:
        vectors = json.load(f)
    vectors.pop("meta", None)
    write(target, (s for s in strings(vectors) if len(s) < 4096 and "tests/" not in s))

template = open(os.path.join(root, "src", "tarvo", "templates", "pyproject.toml.tpl")).read()
filled = template.replace("{{", "\0").replace("}}", "\1")
for field in ["name", "description", "author_name", "author_email", "license_spdx",
              "python_version"]:
    filled = filled.replace("{" + field + "}", "x")
filled = filled.replace("\0", "{").replace("\1", "}")
write("config", [filled, "[project]\nname = 'a'\nversion = '1'\n",
                 "[project.optional-dependencies]\ntest = ['pytest; python_version < \"3.11\"']\n",
                 "[build-system]\nrequires = ['setuptools>=61', 'wheel']\n",
                 "a.b.c = [1, {d = 2}]\n[[x.y]]\nz = 1979-05-27T07:32:00Z\n"])
