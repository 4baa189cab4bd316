#include "data/Vec3dStamped.hpp"

#include <iostream>

namespace vorn {

void Vec3dStamped::print() const {
  std::cout << "Stamp:  " << stamp_ << ",  Value:  [" << vec_.transpose() << "]" << std::endl;
}

}  // namespace vorn
