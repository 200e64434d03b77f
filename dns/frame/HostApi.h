// The services of the Corvane host that the module calls (declared by the plug-in interface
// in sdk/). No result is tested by the module.
#pragma once
#include "sdk/CorvanePlugin.h"
