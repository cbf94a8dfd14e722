#pragma once
#include "QeErrors.h"

// A package that cannot be read or built.
QE_DECLARE_ERROR(EDocxError)
