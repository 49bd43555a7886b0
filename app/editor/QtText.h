#pragma once

// The editor converts texts as the documentation views do, below which it is built.
#include "docs/views/QtText.h"
