"""Every test gets its own configuration directory and its own copy of the shop dictionary.
The package is imported only after the first configuration directory is set, because the
library reads zelko.ini once, when it loads."""

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import pytest

_SESSION_CONFIG = tempfile.mkdtemp(prefix="zelko-py-config-")
os.environ["ZELKO_CONFIG_DIR"] = _SESSION_CONFIG

PACKAGE_ROOT = Path(__file__).resolve().parent.parent
SHOP = Path(os.environ.get("ZELKO_SHOP_DIR", PACKAGE_ROOT.parent / "examples" / "shop"))

import zelko  # noqa: E402  (after the configuration directory is set)


@pytest.fixture(autouse=True)
def own_config_dir(tmp_path, monkeypatch):
    config = tmp_path / "config"
    config.mkdir()
    monkeypatch.setenv("ZELKO_CONFIG_DIR", str(config))
    return config


@pytest.fixture
def shop_dir(tmp_path):
    directory = tmp_path / "shop"
    directory.mkdir()
    for name in ("FILE.DDF", "FIELD.DDF", "INDEX.DDF"):
        shutil.copy(SHOP / name, directory / name)
    return directory


@pytest.fixture
def db(shop_dir):
    database = zelko.open(shop_dir)
    yield database
    database.close()


@pytest.fixture
def customers(db):
    return db.create("CUSTOMER")


def run_python(code, **extra_env):
    """Runs `code` in another Python process with this one's environment and the package."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(
        p for p in (str(PACKAGE_ROOT), env.get("PYTHONPATH", "")) if p)
    env.update(extra_env)
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True,
                          timeout=120)
