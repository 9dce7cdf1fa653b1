#include "gui/common/CantorelApplication.h"

#include <QThreadPool>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs this program outside CTest's environment too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    cantorel::CantorelApplication app(argc, argv);
    // Qt paints on threads of its pool. One that is still ending when the program ends
    // leaves its thread data behind, which the leak check reports: they end as soon as
    // they have nothing to do.
    QThreadPool::globalInstance()->setExpiryTimeout(0);
    return RUN_ALL_TESTS();
}
