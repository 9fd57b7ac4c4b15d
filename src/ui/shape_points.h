#pragma once

#include "picture/shape_points.h"
