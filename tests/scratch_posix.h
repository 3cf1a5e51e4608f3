// A fresh folder for each test, removed with all it holds afterwards.
#ifndef TVKDMPST_TESTS_SCRATCH_POSIX_H
#define TVKDMPST_TESTS_SCRATCH_POSIX_H

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <string>

class ScratchFolderTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        char folder[] = "/tmp/tvkdmpst-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        scratch = folder;
    }

    void TearDown() override
    {
        const std::string command = "rm -rf '" + scratch + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string scratch;
};

#endif
