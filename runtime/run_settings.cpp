#include "run_settings.h"

RunSettings g_runSettings;
