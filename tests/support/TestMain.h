#pragma once

#include "support/TestEnvironment.h"

#include <QtTest>

// Like QTEST_MAIN / QTEST_GUILESS_MAIN, but in a temporary HOME.
#define MOONSHELF_TEST_MAIN_IMPL(AppType, TestObject)                                                           \
    int main(int argc, char **argv)                                                                            \
    {                                                                                                          \
        testsupport::isolateHome();                                                                            \
        AppType app(argc, argv);                                                                               \
        TestObject tc;                                                                                         \
        QTEST_SET_MAIN_SOURCE_PATH                                                                             \
        return QTest::qExec(&tc, argc, argv);                                                                  \
    }

#define MOONSHELF_TEST_GUILESS_MAIN(TestObject) MOONSHELF_TEST_MAIN_IMPL(QCoreApplication, TestObject)
#define MOONSHELF_TEST_WIDGETS_MAIN(TestObject) MOONSHELF_TEST_MAIN_IMPL(QApplication, TestObject)
#define MOONSHELF_TEST_GUI_MAIN(TestObject) MOONSHELF_TEST_MAIN_IMPL(QGuiApplication, TestObject)
