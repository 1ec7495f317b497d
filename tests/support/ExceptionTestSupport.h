#pragma once

#include <gtest/gtest.h>

/// Expects `statement` to throw `type` whose what() is exactly `text`.
#define EXPECT_THROW_MESSAGE(statement, type, text)                                                          \
    do                                                                                                       \
    {                                                                                                        \
        try                                                                                                  \
        {                                                                                                    \
            statement;                                                                                       \
            ADD_FAILURE() << "no exception";                                                                 \
        }                                                                                                    \
        catch (const type& e)                                                                                \
        {                                                                                                    \
            EXPECT_STREQ(e.what(), text);                                                                    \
        }                                                                                                    \
    } while (0)
