#include "ElevatedStart.h"
