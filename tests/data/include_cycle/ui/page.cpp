#include "ui/page.h"
#include "ui/window.h"
