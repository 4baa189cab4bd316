#include "data/KinematicsStamped.hpp"

// Every member of KinematicsStamped is defined inline in its header: records are copied on every
// sample.
