// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests run on Qt's offscreen platform: real windows on one screen of 1600 x 1000 pixels,
// no display. The application is set up as the program sets it up (German Qt dialogs).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QStandardPaths>
#include <filesystem>
#include <fstream>

#include "app/application_setup.h"

int main(int argc, char** argv) {
    const auto config = std::filesystem::temp_directory_path() /
                        ("ktx-screen-" + std::to_string(::getpid()) + ".json");
    std::ofstream(config) << R"({"screens": [{"name": "Bildschirm", "x": 0, "y": 0,)"
                          << R"( "width": 1600, "height": 1000, "logicalDpi": 96}]})";
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.string()).c_str());
    QApplication app(argc, argv);
    std::filesystem::remove(config);
    // What Qt keeps of its own (the file dialog's history) goes to a test folder, not to the
    // settings of the user running the tests.
    QStandardPaths::setTestModeEnabled(true);
    ktx::SetUpApplication(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
