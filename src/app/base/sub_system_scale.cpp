#include "app/base/sub_system_scale.h"

float subSystemMinScale = kDefaultSubSystemMinScale;
float subSystemMaxScale = kDefaultSubSystemMaxScale;
