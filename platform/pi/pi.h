// The plug-in interface in one include.
#pragma once

#include "platform/pi/filter_record.h"
#include "platform/pi/pi_suites.h"
#include "platform/pi/pi_types.h"
