#pragma once
// Deliberately wrong: the core reaching up into the windows. The layer check must refuse it.
#include "gui/TForm1.h"
