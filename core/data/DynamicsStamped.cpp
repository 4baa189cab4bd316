#include "data/DynamicsStamped.hpp"

// Every member of DynamicsStamped is defined inline in its header: records are copied on every
// sample.
