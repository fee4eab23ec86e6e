// The five module functions, in the order in which the module adds them.
#pragma once

#include <span>

#include "pyref.h"

namespace corbyl::py {

std::span<PyMethodDef> module_functions();

}  // namespace corbyl::py
