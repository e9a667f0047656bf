#include "app/UpdateCenter.h"

namespace sorvane::UpdateCenter {

void serverDidStart() {}

void noteActivation() {}

}  // namespace sorvane::UpdateCenter
