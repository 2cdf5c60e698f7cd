#include "engine/status.h"
