#include <gtest/gtest.h>

#include <QCoreApplication>

#include "app/UpdateApp.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    App().m_nVersion = 20;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
