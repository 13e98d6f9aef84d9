#include "platform/RuntimeText.h"
