#include <gtest/gtest.h>

#include "prediction/LRUCache.h"

using sorvane::LRUCache;

TEST(LRUCache, EvictsTheLeastRecentlyUsedBeyondCapacity) {
    LRUCache<int> cache;
    for (int i = 0; i < 128; ++i) cache.insert(i, "k" + std::to_string(i));
    EXPECT_EQ(cache.size(), 128u);
    EXPECT_EQ(cache.value("k0"), 0);  // read: now the most recent
    cache.insert(128, "k128");
    EXPECT_EQ(cache.size(), 128u);
    EXPECT_EQ(cache.value("k0"), 0);
    EXPECT_EQ(cache.value("k1"), std::nullopt);
    EXPECT_EQ(cache.order().front(), "k2");
}

TEST(LRUCache, ReinsertReplacesAndRefreshes) {
    LRUCache<int> cache(2);
    cache.insert(1, "a");
    cache.insert(2, "b");
    cache.insert(3, "a");
    cache.insert(4, "c");
    EXPECT_EQ(cache.value("a"), 3);
    EXPECT_EQ(cache.value("b"), std::nullopt);
    EXPECT_EQ(cache.order(), (std::vector<std::string>{"c", "a"}));
}

TEST(LRUCache, MissChangesNothing) {
    LRUCache<int> cache(3);
    cache.insert(1, "a");
    cache.insert(2, "b");
    EXPECT_EQ(cache.value("zz"), std::nullopt);
    EXPECT_EQ(cache.order(), (std::vector<std::string>{"a", "b"}));
    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_TRUE(cache.order().empty());
}
