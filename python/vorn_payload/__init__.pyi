import os
from typing import Any, Union

from ._core import PayloadCompensator as PayloadCompensator
from ._core import PayloadEstimator as _CoreEstimator
from ._core import demo_payload as demo_payload
from ._core import read_csv as read_csv
from ._core import simulate as simulate
from ._core import write_csv as write_csv

COLUMNS: tuple[str, ...]

class PayloadEstimator(_CoreEstimator):
    def __init__(self, config: Union[str, os.PathLike[str], dict[str, Any]]) -> None: ...
