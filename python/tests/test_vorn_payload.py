"""Tests of the vorn_payload package: bad input, array calls against sample-by-sample calls, and
the identify -> compensate round trip on simulated recordings."""

import json
import math
import os

import numpy as np
import pytest

import vorn_payload as vp

EXAMPLES = os.environ.get(
    "VORN_EXAMPLES_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "examples"))


def estimator_config(**overrides):
    with open(os.path.join(EXAMPLES, "estimator_config.json")) as f:
        config = json.load(f)["payload_estimator_config"]
    config.update(overrides)
    return config


@pytest.fixture(scope="module")
def identified(tmp_path_factory):
    """Identifies the demo payload from a simulated tilt recording; returns the compensator file
    and the final snapshot."""
    work = tmp_path_factory.mktemp("identify")
    cwd = os.getcwd()
    os.chdir(work)
    try:
        # min_time counts wall-clock time, which a recording fed at full speed hardly spends.
        estimator = vp.PayloadEstimator(
            estimator_config(output_config_file_name="payload.json", min_time=0.0,
                             estimation_covariance_convergence_threshold={
                                 "mass": 0.0005, "com": 0.0002, "inertia": 0.5,
                                 "wrench_bias": 0.002}))
        assert estimator.start() and estimator.running
        status = estimator.feed(vp.simulate(120.0, "tilt", seed=3))
    finally:
        os.chdir(cwd)
    assert estimator.successful and not estimator.running
    assert (status[status != -1] == 0).all()
    return str(work / "payload.json"), estimator.current_estimate()


def test_round_trip_recovers_bias_and_compensates_to_zero(identified):
    path, estimate = identified
    truth = vp.demo_payload()
    assert estimate["state"] == "Converged"
    np.testing.assert_allclose(estimate["solution"][0], truth["mass"], rtol=0.01)
    np.testing.assert_allclose(estimate["solution"][10:13], truth["bias"][:3], atol=0.05)
    np.testing.assert_allclose(estimate["solution"][13:16], truth["bias"][3:], atol=0.005)
    # The file's compensation removes the payload, not the bias: at rest the output is the
    # sensor's bias, and a tare zeroes it.
    samples = vp.simulate(3.0, "static", seed=11)
    comp = vp.PayloadCompensator(path)
    wrench, status = comp.compensate(samples[:1500])
    assert wrench.shape == (1500, 6) and status.dtype == np.int32 and (status == 0).all()
    np.testing.assert_allclose(wrench.mean(axis=0), truth["bias"], atol=0.02)
    assert np.abs(samples[:1500, 3] - truth["bias"][2]).min() > 5.0  # the weight was removed
    assert comp.tare()
    wrench, status = comp.compensate(samples[1500:])
    assert (status == 0).all()
    np.testing.assert_allclose(wrench.mean(axis=0), np.zeros(6), atol=0.01)


def test_array_calls_equal_sample_by_sample(identified):
    path, _ = identified
    samples = vp.simulate(3.0, "fast", seed=5)
    samples[100, 0] = samples[99, 0]  # a duplicate stamp: rejected by both paths
    array_comp, single_comp = vp.PayloadCompensator(path), vp.PayloadCompensator(path)
    first = array_comp.compensate(samples[:1500])
    array_comp.tare()
    second = array_comp.compensate(samples[1500:])
    wrench, status = np.vstack([first[0], second[0]]), np.concatenate([first[1], second[1]])
    for k, row in enumerate(samples):
        if k == 1500:
            single_comp.tare()
        s, w = single_comp.update(row[0], row[1:])
        assert s == status[k]
        np.testing.assert_array_equal(w, wrench[k])
    assert status[100] == 5 and np.isnan(wrench[100]).all()

    # The estimator, kept from converging by a long minimum time.
    config = estimator_config(min_time=1000.0, output_config_file_name="/nonexistent/p.json")
    array_est, single_est = vp.PayloadEstimator(config), vp.PayloadEstimator(config)
    array_est.start(), single_est.start()
    fed = array_est.feed(samples[:2000])
    singles = [single_est.update(row[0], row[1:]) for row in samples[:2000]]
    np.testing.assert_array_equal(fed, singles)
    np.testing.assert_array_equal(array_est.current_estimate()["solution"],
                                  single_est.current_estimate()["solution"])
    absorbed = array_est.current_estimate()["samples_absorbed"]
    assert absorbed == single_est.current_estimate()["samples_absorbed"] and absorbed > 1900


def test_bad_input_raises_and_leaves_the_object_usable(identified, tmp_path):
    path, _ = identified
    samples = vp.simulate(1.0, "brisk", seed=2)
    comp = vp.PayloadCompensator(path)
    with pytest.raises(TypeError, match="float64"):
        comp.compensate(samples.astype(np.float32))
    with pytest.raises(ValueError, match=r"shape \(N, 13\).*got \(1000, 12\)"):
        comp.compensate(samples[:, :12])
    with pytest.raises(ValueError, match=r"got \(13,\)"):
        comp.compensate(samples[0])
    bad = samples.copy()
    bad[7, 4] = math.nan
    with pytest.raises(ValueError, match="row 7 holds a non-finite value"):
        comp.compensate(bad)
    with pytest.raises(ValueError, match="12 values"):
        comp.update(0.0, [0.0] * 11)
    zero_imu = samples[:20].copy()
    zero_imu[10, 7:] = 0.0
    with pytest.raises(RuntimeError, match="samples row 10: "):
        comp.compensate(zero_imu)
    # Rows before the failing one were fed; the rest continues as for a fresh compensator.
    fresh = vp.PayloadCompensator(path)
    fresh.compensate(samples[:10])
    np.testing.assert_array_equal(comp.compensate(samples[11:])[0], fresh.compensate(samples[11:])[0])

    estimator = vp.PayloadEstimator(estimator_config(min_time=1000.0))
    estimator.start()
    with pytest.raises(ValueError, match="row 7"):
        estimator.feed(bad)
    assert estimator.current_estimate()["samples_absorbed"] == 0 and estimator.running
    assert estimator.update(math.nan, samples[0, 1:]) == 5  # the library's own rejection

    missing = str(tmp_path / "missing.json")
    with pytest.raises(RuntimeError, match="Failed to open configuration file: " + missing):
        vp.PayloadCompensator(missing)
    with pytest.raises(RuntimeError):
        vp.PayloadEstimator(missing)
    with pytest.raises(RuntimeError, match="profile"):
        vp.simulate(1.0, "wobbly")
    with pytest.raises(ValueError, match="unknown payload key 'weight'"):
        vp.simulate(1.0, payload={"weight": 1.0})


def test_csv_round_trip_and_errors(tmp_path):
    samples = vp.simulate(0.5, "slow", seed=4)
    path = str(tmp_path / "rec.csv")
    vp.write_csv(path, samples)
    np.testing.assert_array_equal(vp.read_csv(path), samples)
    with open(path, "a") as f:
        f.write("1,2,3\n")
    with pytest.raises(RuntimeError, match=r"rec\.csv:\d+: expected 13 numbers, found 3"):
        vp.read_csv(path)


def test_dict_configuration_run_end_and_simulated_truth(identified, tmp_path, monkeypatch):
    _, estimate = identified
    assert estimate["hint"]["move"] == "Done" and estimate["blocking"] == "None"
    assert estimate["samples_absorbed"] > 0 and estimate["mass"]["met"]
    # A dict's relative output name is the working directory's, not the temporary file's.
    monkeypatch.chdir(tmp_path)
    estimator = vp.PayloadEstimator(estimator_config(
        output_config_file_name="out.json", min_time=0.0,
        estimation_covariance_convergence_threshold={
            "mass": 0.005, "com": 0.002, "inertia": 1.0, "wrench_bias": 0.05}))
    assert estimator.current_estimate()["state"] == "NotStarted"
    samples, truth = vp.simulate(60.0, "tilt", seed=3, noise_scale=0.0, with_truth=True)
    assert truth.shape == (len(samples), 6)
    # Without noise the measured wrench is the payload's plus the bias.
    np.testing.assert_allclose(samples[:, 1:7] - truth, np.tile(vp.demo_payload()["bias"],
                                                                (len(samples), 1)), atol=1e-9)
    assert (estimator.feed(samples[:10]) == -1).all()  # no run started: nothing fed
    estimator.start()
    status = estimator.feed(samples)
    assert estimator.successful and (tmp_path / "out.json").exists()
    ended = int(np.argmax(status == -1))
    assert ended > 0 and (status[:ended] == 0).all() and (status[ended:] == -1).all()
    with pytest.raises(ValueError, match="'bias' needs 6 numbers, got 3"):
        vp.simulate(1.0, payload={"mass": 1.0, "bias": [0.0, 0.0, 0.0]})
    with pytest.raises(ValueError, match="needs a 'mass'"):
        vp.simulate(1.0, payload={"com": [0.0, 0.0, 0.1]})
