// The fakes are header-only; this keeps the fakes library non-empty.
#include "fakes/fakeprompter.h"
