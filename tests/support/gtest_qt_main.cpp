// main for GoogleTest executables: a QCoreApplication exists for the whole run, so code
// that uses QtCore (files, settings, text codecs) behaves as in the program.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
