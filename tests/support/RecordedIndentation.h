#pragma once

#include "expansion/TextSettings.h"
#include "text/Settings.h"

#include <gtest/gtest.h>

#include <memory>

namespace quillet::test {

/// Expansion depends on the indentation settings; the recorded expansions of the default
/// library use four spaces. Tests of those expansions run with these shared settings.
class RecordedIndentationTest : public testing::Test {
protected:
    void SetUp() override
    {
        auto settings = std::make_shared<InMemorySettings>();
        settings->set(TextSettings::indentWithSpacesKey, true);
        settings->set(TextSettings::indentSizeKey, 4LL);
        Settings::setShared(settings);
    }
    void TearDown() override { Settings::setShared(nullptr); }
};

} // namespace quillet::test
