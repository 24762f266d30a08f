// The test programs' common headers: the core set and GoogleTest.
#pragma once
#include "core.h"
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
