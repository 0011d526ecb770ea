#pragma once

// The file and standard-descriptor streams together.
#include "InFileStream.h"
#include "OutFileStream.h"
#include "StdInFileStream.h"
#include "StdOutFileStream.h"
