#include "ConverterProcess.h"
