"""A package index on 127.0.0.1 for the publish tests: pypiserver's own application, serving
ROOT, with uploads allowed to the users of the password file, one request at a time.

usage: index_server.py ROOT PASSWORDS PORT_FILE [UPLOADS]

It listens on a free port, which it writes to PORT_FILE once it takes connections. With UPLOADS
it stops after that many files have been uploaded, as a server that goes away mid-release.
"""

import os
import sys
from wsgiref.simple_server import WSGIRequestHandler, make_server

import pypiserver
from pypiserver.config import Config

root, passwords, port_file = sys.argv[1:4]
limit = int(sys.argv[4]) if len(sys.argv) > 4 else None
config = Config.from_args(["run", "--passwords", passwords, "--authenticate", "update", root])
app = pypiserver.setup_routes_from_config(pypiserver.app_from_config(config), config)
uploads = 0


def counting(environ, start_response):
    def start(status, headers, exc_info=None):
        global uploads
        if environ["REQUEST_METHOD"] == "POST" and status.startswith("200"):
            uploads += 1
        return start_response(status, headers, exc_info)

    return app(environ, start)


class Quiet(WSGIRequestHandler):
    def log_message(self, *args):
        pass


server = make_server("127.0.0.1", 0, counting, handler_class=Quiet)
with open(port_file + ".new", "w") as f:
    f.write(str(server.server_port))
os.rename(port_file + ".new", port_file)
while limit is None or uploads < limit:
    server.handle_request()
server.server_close()
