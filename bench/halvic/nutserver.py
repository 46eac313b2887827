"""The tests' NUT server (tests/support/nut/nut-fixture.sh) for the library's benchmarks, with the
library pointed at it through the environment."""
import contextlib
import os
import subprocess
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
FIXTURE = ROOT / "tests/support/nut/nut-fixture.sh"


@contextlib.contextmanager
def nut_server(prefix, **environment):
    """Yields (work directory, server directory) with HALVIC_BACKEND and HALVIC_NUT_UPS set for the
    server's UPS "dummy", and the further HALVIC_* variables given; stops the server after."""
    with tempfile.TemporaryDirectory(prefix=prefix) as work:
        server = Path(work) / "nut"
        subprocess.run(["bash", str(FIXTURE), "start", str(server)], check=True, stdout=subprocess.DEVNULL)
        try:
            port = (server / "port").read_text().strip()
            os.environ.update(HALVIC_BACKEND="nut", HALVIC_NUT_UPS=f"dummy@127.0.0.1:{port}", **environment)
            yield Path(work), server
        finally:
            subprocess.run(["bash", str(FIXTURE), "stop", str(server)], check=False)
