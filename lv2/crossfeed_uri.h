// The plug-in's identity, shared by the plug-in and its generated description.
#pragma once

#define CROSSFEED_LV2_URI "urn:crossfeed:crossfeed"
#define CROSSFEED_LV2_PRESET_PREFIX CROSSFEED_LV2_URI ":preset:"
