#pragma once

#include "tests/support/QtTestApp.h"
