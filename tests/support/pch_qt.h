#pragma once
// Precompiled once per test executable that drives Qt: the standard set and the Qt headers
// the window and device tests share.
#include "support/pch_std.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
