#include "data/WrenchSeries.hpp"

// Every member is defined in the header, so that the per-sample calls inline.
