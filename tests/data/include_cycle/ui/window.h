#pragma once
#include "ui/page.h"
