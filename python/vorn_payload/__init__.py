"""Payload identification and compensation for six-axis force-torque sensors with an IMU.

Wraps libVornPayloadEstimator and libVornPayloadCompensator. Samples are rows of 13 float64
values ``t, fx, fy, fz, tx, ty, tz, ax, ay, az, wx, wy, wz``: time stamp (s), force (N), torque
(N·m), accelerometer specific force (m/s², gravity included) and angular velocity (rad/s), all
in the sensor frame. The simulator and the CSV recording reader/writer of the vorn-payload tool
are here too, so a recording can be made, identified and compensated from Python.
"""

import json
import os
import tempfile

from ._core import PayloadCompensator, demo_payload, read_csv, simulate, write_csv
from ._core import PayloadEstimator as _CoreEstimator

__all__ = [
    "COLUMNS",
    "PayloadCompensator",
    "PayloadEstimator",
    "demo_payload",
    "read_csv",
    "simulate",
    "write_csv",
]

#: Column names of a sample array, in order.
COLUMNS = ("t", "fx", "fy", "fz", "tx", "ty", "tz", "ax", "ay", "az", "wx", "wy", "wz")


class PayloadEstimator(_CoreEstimator):
    """Online identification of a payload's mass, centre of mass, inertia and the sensor bias.

    ``config`` is the path of an estimator configuration file or the configuration as a dict
    (with or without the top-level ``payload_estimator_config`` key); a dict is written to a
    temporary file that is removed once the library has read it. The converged run writes the
    compensator file named by ``output_config_file_name``: relative to the configuration file's
    directory for a path, to the current working directory for a dict.
    """

    def __init__(self, config):
        if isinstance(config, dict):
            if "payload_estimator_config" not in config:
                config = {"payload_estimator_config": config}
            inner = config["payload_estimator_config"]
            name = inner.get("output_config_file_name") if isinstance(inner, dict) else None
            if isinstance(name, str) and name and not os.path.isabs(name):
                # The library resolves the name against the configuration file's directory.
                config = dict(config)
                config["payload_estimator_config"] = dict(inner, output_config_file_name=os.path.abspath(name))
            fd, path = tempfile.mkstemp(prefix="vorn_estimator_", suffix=".json")
            try:
                with os.fdopen(fd, "w") as f:
                    json.dump(config, f)
                super().__init__(path)
            finally:
                os.unlink(path)
        else:
            super().__init__(os.fspath(config))
