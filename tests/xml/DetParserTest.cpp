// The deterministic combinators over plain character tokens: the two failure
// kinds, how each operation passes them on, and long inputs in small stacks.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "xml/DetParser.h"
#include "xml/ParserHelpers.h"

namespace axf::xml {
namespace {

using In = VectorInput<char>;

In input(const std::string& s) { return In(std::vector<char>(s.begin(), s.end())); }

auto tok(char c) {
    return pTest([c](char t) { return t == c; });
}
const auto a = tok('a');
const auto b = tok('b');
const auto c = tok('c');

// A digit as its number.
const auto digit = pCheck([](char t) -> std::optional<int> {
    if (t < '0' || t > '9') return std::nullopt;
    return t - '0';
});
const auto minus = constAs(std::function<int(int, int)>([](int x, int y) { return x - y; }), tok('-'));

template <class Pr>
Reply<ValueOf<Pr, In>> runOn(const Pr& p, const std::string& s) {
    In in = input(s);
    return p(in, 0);
}

TEST(DetParser, PrimitivesLookAtOneToken) {
    In empty = input("");
    EXPECT_FALSE(pRun(a, empty));
    EXPECT_FALSE(pRun(digit, empty));
    EXPECT_FALSE(pRun(pSym('a'), empty));

    auto r = runOn(digit, "7x");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(*r.value, 7);
    EXPECT_EQ(r.rest, 1u);  // the rest is left unread

    auto f = runOn(digit, "x7");
    EXPECT_EQ(f.status, ParseStatus::FailEmpty);
    EXPECT_EQ(f.rest, 0u);

    EXPECT_EQ(*runOn(pSym('b'), "b").value, 'b');
    EXPECT_EQ(*runOn(pSucceed(5), "").value, 5);
}

TEST(DetParser, ChoiceTriesNextOnlyAfterFailureWithoutConsuming) {
    // (a *> b) <|> c on "ac": a consumed, b failed: c is not tried.
    auto r = runOn(alt(seqR(a, b), c), "ac");
    EXPECT_EQ(r.status, ParseStatus::FailConsumed);
    EXPECT_EQ(r.rest, 1u);  // where b stood
    // On "c": the first alternative fails at its first token; c runs.
    EXPECT_TRUE(runOn(alt(seqR(a, b), c), "c").ok());
    // pTry backtracks: c is tried from the first token ("a" is not c, so it
    // fails without consuming again).
    auto t = runOn(alt(pTry(seqR(a, b)), seqR(a, c)), "ac");
    ASSERT_TRUE(t.ok());
    EXPECT_EQ(t.rest, 2u);
}

TEST(DetParser, SequenceFailsAfterConsumingWhateverItsFirstPartConsumed) {
    // pSucceed f <*> q with q rejecting: failure after consuming.
    auto fq = ap(pSucceed(std::function<int(int)>([](int x) { return x + 1; })), digit);
    EXPECT_EQ(runOn(fq, "x").status, ParseStatus::FailConsumed);
    EXPECT_EQ(runOn(alt(fq, pSucceed(0)), "x").status, ParseStatus::FailConsumed);
    EXPECT_EQ(runOn(pMaybe(fq), "x").status, ParseStatus::FailConsumed);
    In in = input("x");
    EXPECT_FALSE(pRun(fq, in));
    EXPECT_EQ(*runOn(fq, "4").value, 5);
    // An empty repetition or an absent option before a part counts the same.
    EXPECT_EQ(runOn(seqR(pList(a), b), "c").status, ParseStatus::FailConsumed);
    EXPECT_EQ(runOn(seqR(pMaybe(a), b), "c").status, ParseStatus::FailConsumed);
}

TEST(DetParser, SequenceVariantsCombineValues) {
    EXPECT_EQ(*runOn(seqL(digit, b), "3b").value, 3);
    EXPECT_EQ(*runOn(seqR(b, digit), "b3").value, 3);
    EXPECT_EQ(*runOn(seqPair(digit, digit), "12").value, std::make_pair(1, 2));
    auto neg = pSucceed(std::function<int(int)>([](int x) { return -x; }));
    EXPECT_EQ(*runOn(passTo(digit, neg), "4").value, -4);
    EXPECT_EQ(*runOn(fmap([](int x) { return x * 10; }, digit), "4").value, 40);
    EXPECT_EQ(*runOn(seqWith([](int x, char, int y) { return x * y; }, digit, b, digit), "3b4").value, 12);
}

TEST(DetParser, Options) {
    // pMaybe (a *> b): absent on "c" without consuming, failure on "ac".
    auto m = runOn(pMaybe(seqR(a, b)), "c");
    ASSERT_TRUE(m.ok());
    EXPECT_FALSE(m.value->has_value());
    EXPECT_EQ(m.rest, 0u);
    EXPECT_EQ(runOn(pMaybe(seqR(a, b)), "ac").status, ParseStatus::FailConsumed);
    EXPECT_EQ(**runOn(pMaybe(digit), "5").value, 5);
    // p <?> x.
    auto d = runOn(orElse(digit, 9), "c");
    EXPECT_EQ(*d.value, 9);
    EXPECT_EQ(d.rest, 0u);
    EXPECT_EQ(runOn(orElse(seqR(a, digit), 9), "ac").status, ParseStatus::FailConsumed);
}

TEST(DetParser, Repetition) {
    auto none = runOn(pList(a), "c");
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none.value->empty());
    EXPECT_EQ(none.rest, 0u);
    // pSome fails without consuming there, so an enclosing choice goes on.
    EXPECT_EQ(runOn(pSome(a), "c").status, ParseStatus::FailEmpty);
    EXPECT_EQ(*runOn(alt(fmap([](std::vector<char> v) { return v.size(); }, pSome(a)), pSucceed(std::size_t{99})), "c").value,
              99u);
    EXPECT_EQ(runOn(pSome(digit), "123x").value->size(), 3u);

    // A second element that starts well and then fails: the whole repetition
    // fails after consuming, the first element is lost.
    EXPECT_EQ(runOn(pList(seqR(a, b)), "abac").status, ParseStatus::FailConsumed);
    EXPECT_EQ(runOn(pSome(seqR(a, b)), "abac").status, ParseStatus::FailConsumed);

    auto digits = runOn(pList(digit), "123x");
    EXPECT_EQ(*digits.value, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(digits.rest, 3u);

    // Right fold: op(a1, op(a2, op(a3, e))).
    auto show = [](int x, std::string acc) {
        return std::string("(").append(std::to_string(x)).append(" ").append(acc).append(")");
    };
    EXPECT_EQ(*runOn(pFoldr(show, std::string("e"), digit), "123").value, "(1 (2 (3 e)))");
    EXPECT_EQ(*runOn(pFoldr(show, std::string("e"), digit), "").value, "e");
    auto showl = [](std::string acc, int x) {
        return std::string("(").append(acc).append(" ").append(std::to_string(x)).append(")");
    };
    EXPECT_EQ(*runOn(pFoldl(showl, std::string("e"), digit), "123").value, "(((e 1) 2) 3)");
}

TEST(DetParser, OperatorChains) {
    EXPECT_EQ(*runOn(pChainl(minus, digit), "1-2-3").value, -4);
    EXPECT_EQ(*runOn(pChainr(minus, digit), "1-2-3").value, 2);
    EXPECT_EQ(runOn(pChainl(minus, digit), "1-x").status, ParseStatus::FailConsumed);
    EXPECT_EQ(runOn(pChainr(minus, digit), "1-2-x").status, ParseStatus::FailConsumed);
    EXPECT_EQ(runOn(pChainl(minus, digit), "x").status, ParseStatus::FailEmpty);
    auto one = runOn(pChainr(minus, digit), "1+");
    EXPECT_EQ(*one.value, 1);
    EXPECT_EQ(one.rest, 1u);
}

TEST(DetParser, LongInputsRunInASmallStack) {
    const std::size_t n = 200000;
    std::string digits(n, '1');
    std::string chain;
    for (std::size_t i = 0; i < n; ++i) chain += i ? "-1" : "1";
    runWithLargeStack(
        [&] {
            EXPECT_EQ(runOn(pList(digit), digits).value->size(), n);
            EXPECT_EQ(*runOn(pFoldr([](int x, long acc) { return acc + x; }, 0L, digit), digits).value, long(n));
            EXPECT_EQ(*runOn(pChainl(minus, digit), chain).value, 1 - int(n - 1));
            EXPECT_EQ(*runOn(pChainr(minus, digit), chain).value, 0);  // 1-(1-(1-...)) with an even count
        },
        256 * 1024);
}

TEST(DetParser, TypeErasedParsersBehaveAlike) {
    P<In, int> p = alt(digit, constAs(0, c));
    EXPECT_EQ(*runOn(p, "7").value, 7);
    EXPECT_EQ(*runOn(p, "c").value, 0);
    EXPECT_EQ(runOn(p, "a").status, ParseStatus::FailEmpty);
}

TEST(ParserHelpers, Helpers) {
    EXPECT_EQ(wrap(std::string("a")), std::vector<std::string>{"a"});
    EXPECT_EQ(pair(1, std::string("x")), std::make_pair(1, std::string("x")));
    EXPECT_EQ(lift([](int x, int y) { return x - y; }, [](int x) { return x * 10; }, [](int x) { return x; }, 3), 27);
    EXPECT_TRUE(maybeToList(std::optional<int>()).empty());
    EXPECT_EQ(maybeToList(std::optional<int>(4)), std::vector<int>{4});

    auto never = [](const int&) { return std::optional<int>(); };
    EXPECT_EQ(maybeStar(never, 5).take(10), std::vector<int>{5});
    EXPECT_TRUE(maybePlus(never, 5).take(10).empty());
    auto halve = [](const int& x) { return x > 1 ? std::optional<int>(x / 2) : std::nullopt; };
    EXPECT_EQ(maybeStar(halve, 8).take(10), (std::vector<int>{8, 4, 2, 1}));
    EXPECT_EQ(maybePlus(halve, 8).take(10), (std::vector<int>{4, 2, 1}));
    // Endless, produced on demand.
    auto up = [](const int& x) { return std::optional<int>(x + 1); };
    EXPECT_EQ(maybeStar(up, 0).take(3), (std::vector<int>{0, 1, 2}));

    // Computations over a shared environment.
    using R = Reader<int, int>;
    R env = [](const int& r) { return r; };
    EXPECT_EQ(readerCombine([](int x, int y) { return x * 100 + y; }, env, readerReturn<int>(7))(3), 307);
    EXPECT_EQ(done<int>()(3), std::monostate{});
    // o f g runs g first, then f, both on the same environment.
    std::string trace;
    auto g = [&](int x) {
        return R([&, x](const int& r) {
            trace += "g";
            return x + r;
        });
    };
    auto f = [&](int y) {
        return R([&, y](const int& r) {
            trace += "f";
            return y * r;
        });
    };
    EXPECT_EQ(readerCompose(f, g)(1)(10), 110);
    EXPECT_EQ(trace, "gf");

    try {
        failNotImplemented("x");
        FAIL();
    } catch (const Fatal& e) {
        EXPECT_STREQ(e.what(), "Not Yet Implemented: x");
    }
}

}  // namespace
}  // namespace axf::xml
