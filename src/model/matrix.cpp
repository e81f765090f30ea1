#include "model/matrix.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "core/stop.h"

namespace kalp {

namespace {

// Half of the age weights w[1..n] into the last n classes of the block that
// ends with class `last`.
void halfrow(float* row, int last, const double* w, int n) {
    for (int i = 1; i <= n; ++i)
        row[last - n + i] = static_cast<float>(0.5 * w[i]);
}

// Class first + k takes its genes from class first + k - 1 (one year older).
void ageing(Model& m, int first, int size) {
    for (int k = 1; k <= size - 1; ++k)
        m.P[first + k][first + k - 1] = 1;
}

// The dam half of a progeny row of system B: ewes of class i weighted by
// share(i), normalised so that the half sums to 0.5.
void progenydams(Model& m, float* row, bool crossed, const char* progeny) {
    const int last = m.acm - 3;
    auto share = [&](int i) {
        return crossed ? static_cast<double>(m.pcrossE[i])
                       : 1.0 - static_cast<double>(m.pcrossE[i]);
    };
    m.a2 = 0;
    for (int i = 1; i <= m.LLB; ++i)
        m.a2 = static_cast<float>(static_cast<double>(m.a2) + share(i) * m.l4EB[i]);
    if (m.a2 == 0)
        failin("INPUTVRD01B.TXT", "pcrossE",
               "The crossing shares in INPUTVRD01B.TXT leave the " + std::string(progeny) +
                 " of system B without dams.",
             "Give some reproductive ewe classes of system B a crossing share below 1 and some "
             "above 0 in INPUTVRD01B.TXT and restart the program.");
    for (int i = 1; i <= m.LLB; ++i)
        row[last - m.LLB + i] =
            static_cast<float>(0.5 * m.l4EB[i] * share(i) / static_cast<double>(m.a2));
}

} // namespace

void buildone(Model& m) {
    const int s1 = m.acsA + m.acdA;
    if (m.pgssA == 2) halfrow(m.P[1], m.acsA, m.l4RA, m.RRA);
    ageing(m, 1, m.acsA);
    if (m.pgdsA == 2) halfrow(m.P[1], s1, m.l4EA, m.LLA);
    halfrow(m.P[m.acsA + 1], m.acsA, m.l4RA, m.RRA);
    halfrow(m.P[m.acsA + 1], s1, m.l4EA, m.LLA);
    ageing(m, m.acsA + 1, m.acdA);
    halfrow(m.P[m.acm], m.acsA, m.l4RA, m.RRA);
    halfrow(m.P[m.acm], s1, m.l4EA, m.LLA);
}

void buildtwo(Model& m) {
    const Blocks b = blocks(m);
    const int s4 = m.acm - 3; // last class of the B-dam block
    // system A
    if (m.pgssA == 2) halfrow(m.P[1], m.acsA, m.l4RA, m.RRA);
    ageing(m, 1, m.acsA);
    if (m.pgdsA == 2) halfrow(m.P[1], b.s1, m.l4EA, m.LLA);
    halfrow(m.P[m.acsA + 1], m.acsA, m.l4RA, m.RRA);
    halfrow(m.P[m.acsA + 1], b.s1, m.l4EA, m.LLA);
    ageing(m, m.acsA + 1, m.acdA);
    // crossing sires are born like the rams of system A
    for (int j = 1; j <= b.s1; ++j)
        m.P[b.s1 + 1][j] = m.P[1][j];
    ageing(m, b.s1 + 1, m.acsAB);
    // system B
    if (m.pgssB == 2) halfrow(m.P[b.s2 + 1], b.s3, m.l4RB, m.RRB);
    ageing(m, b.s2 + 1, m.acsB);
    if (m.pgdsB == 2) halfrow(m.P[b.s2 + 1], s4, m.l4EB, m.LLB);
    halfrow(m.P[b.s3 + 1], b.s3, m.l4RB, m.RRB);
    halfrow(m.P[b.s3 + 1], s4, m.l4EB, m.LLB);
    ageing(m, b.s3 + 1, m.acdB);
    // progeny
    halfrow(m.P[m.acm - 2], m.acsA, m.l4RA, m.RRA);
    halfrow(m.P[m.acm - 2], b.s1, m.l4EA, m.LLA);
    halfrow(m.P[m.acm - 1], b.s3, m.l4RB, m.RRB);
    progenydams(m, m.P[m.acm - 1], false, "purebred progeny");
    halfrow(m.P[m.acm], b.s2, m.l4RB, m.RRB);
    progenydams(m, m.P[m.acm], true, "crossbred progeny");
}

int badrow(Model& m) {
    for (int r = 1; r <= m.acm; ++r) {
        m.a2 = 0;
        for (int j = 1; j <= m.acm; ++j)
            m.a2 = static_cast<float>(static_cast<double>(m.a2) + static_cast<double>(m.P[r][j]));
        const double sum = m.a2;
        if (!(sum >= 0.99999 && sum <= 1.00001)) return r;
    }
    return 0;
}

namespace {

// What to blame for a bad row: the first list of age weights that does not
// sum to 1, else the paths given in the settings file; and what that list
// or row adds up to.
struct Culprit {
    const char* file;
    std::string value;
    std::string detail;
};
std::string sumtext(double sum) {
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", sum);
    return text;
}
Culprit culprit(const Model& m, int row) {
    const struct {
        const double* w;
        int n;
        const char *file, *var, *what;
    } lists[] = {{m.l4RA, m.RRA, "INPUTVRD01A.TXT", "l4RA", "the reproductive ram classes of A"},
                 {m.l4EA, m.LLA, "INPUTVRD01A.TXT", "l4EA", "the reproductive ewe classes of A"},
                 {m.l4RB, m.RRB, "INPUTVRD01B.TXT", "l4RB", "the reproductive ram classes of B"},
                 {m.l4EB, m.LLB, "INPUTVRD01B.TXT", "l4EB", "the reproductive ewe classes of B"}};
    for (const auto& l : lists) {
        if (l.n == 0) continue;
        double sum = 0;
        for (int i = 1; i <= l.n; ++i)
            sum += l.w[i];
        if (!(std::fabs(sum - 1) <= 0.00001))
            return {l.file, l.var,
                    std::string(l.file) + ": the " + std::to_string(l.n) + " age weights of " + l.what +
                        " (" + l.var + ") add up to " + sumtext(sum) + "; they must add up to 1"};
    }
    const char* file = m.prods == 1 ? "INPUTVRD02.TXT" : "INPUTVRD03.TXT";
    return {file, "P[" + std::to_string(row) + "]",
            std::string(file) + ": row " + std::to_string(row) +
                " of the matrix P, which takes the shares of the paths given there, adds up to " +
                sumtext(m.a2) + "; it must add up to 1"};
}

} // namespace

void buildmatrix(Model& m) {
    if (m.prods == 1)
        buildone(m);
    else
        buildtwo(m);
    if (const int r = badrow(m)) {
        const Culprit c = culprit(m, r);
        nonsense01(r, m.prods, c.file, c.value, c.detail);
    }
}

} // namespace kalp
