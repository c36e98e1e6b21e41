# A real FTP server for the transfer tests, on 127.0.0.1 and a free port:
#   ftp_server.py ROOT USER PASSWORD [BYTES_PER_SECOND]
# ROOT is the user's home; the chosen port is printed on the first line.
# A rate throttles the data connections, so a test can act mid-transfer.
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

root, user, password = sys.argv[1:4]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmw")
handler = FTPHandler
handler.authorizer = authorizer
handler.passive_ports = None
if len(sys.argv) > 4:
    dtp = ThrottledDTPHandler
    dtp.read_limit = dtp.write_limit = int(sys.argv[4])
    handler.dtp_handler = dtp
server = FTPServer(("127.0.0.1", 0), handler)
print(server.socket.getsockname()[1], flush=True)
server.serve_forever()
