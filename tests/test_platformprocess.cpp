// The platform units alone: signals, streams, the process and the whole
// power.
#include "platformtest.h"

#include <cmath>
#include <ctime>
#include <thread>

using namespace kalp::platform;
using namespace platformtest;

namespace {

TEST_F(Platform, EnlistedFilesGoOnRequest) {
    spit(at("listed"), "x");
    spit(at("delisted"), "x");
    const int a = enlist(at("listed"));
    const int b = enlist(at("delisted"));
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    delist(b);
    removeenlisted();
    delist(a);
    EXPECT_EQ(kindof(at("listed")), Kind::missing);
    EXPECT_EQ(kindof(at("delisted")), Kind::file);
}

// Ctrl-C in the middle of writing a file: the file goes, a line says so,
// and the status is the shell's for SIGINT.
TEST_F(Platform, AnInterruptedRunLeavesNoFile) {
    std::string out;
    const int status = child("--interrupt \"" + at("unfinished") + "\"", out, true);
#ifdef _WIN32
    if (out.find("no console") != std::string::npos) GTEST_SKIP() << out;
#endif
#ifdef _WIN32
    const std::string signal = "Ctrl-C";
#else
    const std::string signal = "SIGINT";
#endif
    EXPECT_EQ(status, 130) << out;
    EXPECT_EQ(out, "kalp: interrupted (" + signal +
                       "); the files of this run were not written, earlier ones are unchanged\n");
    EXPECT_EQ(kindof(at("unfinished")), Kind::missing);
}

TEST(PlatformStreams, StandardOutputPassesEveryByte) {
    std::string out;
    EXPECT_EQ(child("--print-bytes", out), 0);
    EXPECT_TRUE(out == awkward) << out;
    // Only a console is a terminal: a file and the null device are not.
    std::FILE* f = std::fopen(device, "w");
    ASSERT_TRUE(f);
    EXPECT_FALSE(isterminal(f));
    std::fclose(f);
}

TEST(PlatformProcess, KnowsItselfAndMakesSecrets) {
    const std::string self = programpath();
    EXPECT_EQ(kindof(self), Kind::file);
    EXPECT_NE(self.find("test_platform"), std::string::npos) << self;
    unsigned char a[32] = {}, b[32] = {};
    int error = 0;
    ASSERT_TRUE(randombytes(a, sizeof a, error));
    ASSERT_TRUE(randombytes(b, sizeof b, error));
    EXPECT_NE(std::string(a, a + 32), std::string(b, b + 32));
}

// The time line of a run is processor time on every system: asleep it
// stands still, at work it runs.
TEST(PlatformProcess, ProcessorTimeStandsStillWhileAsleep) {
    const std::clock_t start = processortime();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const std::clock_t slept = processortime();
    EXPECT_LT(slept - start, CLOCKS_PER_SEC / 10);
    volatile double sum = 0;
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
         std::chrono::steady_clock::now() < until;)
        sum = sum + 1;
    EXPECT_GT(processortime() - slept, CLOCKS_PER_SEC / 20);
}

TEST(PlatformProcess, AServerWakesFromItsWait) {
    holdendsignals();
    std::thread waker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        wakeend();
    });
    EXPECT_EQ(waitforend(), 0);
    waker.join();
}

// The yearly discount (1 + u)^t: rounded once, the same bits on every
// machine. The reference is the power in quadruple precision, rounded to a
// double; cases too close to a tie for it to decide are left out.
TEST(PlatformPower, AWholePowerIsRoundedOnce) {
    struct Exact {
        double x;
        int n;
        double want;
    };
    for (const Exact& e : {Exact{1.5, 3, 3.375}, Exact{2, 10, 1024}, Exact{7, 0, 1}, Exact{1.05, 1, 1.05},
                           Exact{0.5, 1074, std::ldexp(1.0, -1074)}, Exact{0.5, 1075, 0.0},
                           Exact{0.75, 2600, 0.0}, Exact{2, 1023, std::ldexp(1.0, 1023)},
                           Exact{2, 1024, HUGE_VAL}, Exact{3, 20, 3486784401.0}}) {
        EXPECT_EQ(roundedpower(e.x, e.n), e.want) << e.x << "^" << e.n;
    }
    int checked = 0, unlikepow = 0;
    for (int k = 1; k <= 400; ++k) {
        // Discount rates as a run stores them: single precision.
        const double x = 1.0 + static_cast<double>(static_cast<float>(k * 0.00125f));
        __float128 q = 1;
        for (int n = 1; n <= 80; ++n) {
            q *= x;
            const __float128 slack = q * static_cast<__float128>(std::ldexp(1.0, -100));
            const double below = static_cast<double>(q - slack), above = static_cast<double>(q + slack);
            if (below != above) continue;
            ++checked;
            ASSERT_EQ(roundedpower(x, n), below) << x << "^" << n;
            if (std::pow(x, n) != below) ++unlikepow;
        }
    }
    EXPECT_GT(checked, 31000);
    // The C library's pow is near: within one unit in the last place.
    RecordProperty("differs from pow", unlikepow);
#ifdef _WIN32
    EXPECT_EQ(power(1.05, 20), roundedpower(1.05, 20));
#else
    EXPECT_EQ(power(1.05, 20), std::pow(1.05, 20.0));
#endif
}


} // namespace
