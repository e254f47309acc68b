// Loads the built module once per test program, the way a host does.
#pragma once

#include "loader/plugin_host.h"
#include "support/samples.h"

PluginModule& moduleUnderTest();
EffectInstance newEffect();
