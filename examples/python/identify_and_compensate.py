"""Simulate a sensor carrying a gripper, identify the payload, compensate a new recording.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/identify_and_compensate.py

Writes payload.json (the compensator file) in the working directory, and compensation.png when
matplotlib is installed.
"""

import json
import os

import numpy as np

import vorn_payload as vp

here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "..", "estimator_config.json")) as f:
    config = json.load(f)
# min_time and max_time count the run's wall-clock time; a recording fed at full speed passes
# through in a fraction of a second, so the run ends on tighter standard deviations instead.
config["payload_estimator_config"]["min_time"] = 0.0
config["payload_estimator_config"]["estimation_covariance_convergence_threshold"] = {
    "mass": 0.0005, "com": 0.0002, "inertia": 0.5, "wrench_bias": 0.002}

# 1. Two minutes of slow tilts that turn gravity through most directions, at 1 kHz.
recording = vp.simulate(120.0, "tilt", seed=1)
vp.write_csv("tilt.csv", recording)

# 2. Identification: mass, centre of mass, inertia and the sensor's bias.
estimator = vp.PayloadEstimator(config)
estimator.start()
estimator.feed(recording)
estimate = estimator.current_estimate()
print("converged:", estimator.successful, "after", round(estimate["data_seconds"], 2), "s of data")
print("mass (kg):", estimate["solution"][0], " bias (N, N·m):", estimate["solution"][10:16])
print("true mass (kg):", vp.demo_payload()["mass"], " true bias:", vp.demo_payload()["bias"])

# 3. Compensation of a new, brisk recording with the file the estimator wrote, tared after 1 s.
moving = vp.simulate(5.0, "brisk", seed=2)
compensator = vp.PayloadCompensator("payload.json")
before, _ = compensator.compensate(moving[:1000])
compensator.tare()
after, status = compensator.compensate(moving[1000:])
wrench = np.vstack([before, after])
print("compensated force after the tare, mean |F| (N):",
      np.abs(after[:, :3]).mean(axis=0).round(3), " statuses:", np.unique(status))

try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError:
    print("matplotlib is not installed: no plot")
else:
    t = moving[:, 0]
    fig, axes = plt.subplots(2, 1, sharex=True, figsize=(9, 6))
    for k, name in enumerate(("Fx", "Fy", "Fz")):
        axes[0].plot(t, moving[:, 1 + k], label=name + " measured")
        axes[1].plot(t, wrench[:, k], label=name + " compensated")
    axes[0].set_ylabel("force (N)")
    axes[1].set_ylabel("force (N)")
    axes[1].set_xlabel("time (s)")
    for ax in axes:
        ax.legend(loc="upper right", fontsize="small")
    fig.savefig("compensation.png", dpi=100)
    print("wrote compensation.png")
