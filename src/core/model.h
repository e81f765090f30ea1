// The model state: every value KALP reads, derives or reports.
//
// All arrays are indexed from 1; element 0 exists, stays zero and is never
// read. Reals are single precision except the four age-weight arrays.
#pragma once

namespace kalp {

constexpr int ACM = 80; // classes: rows and columns of P, per-class vectors
constexpr int NT = 36;  // traits 1..35
constexpr int L = 16;   // ewe age classes 1..15
constexpr int R = 6;    // ram age classes 1..5
constexpr int CB = 3;   // progeny classes with two systems
// The longest period of the gene flow: a million years take seconds, and
// the year count stays far below the largest int.
constexpr int mostyears = 1000000;

struct Model {
    // control
    int errmess, prods, gstd;
    // counts of reproductive classes
    int RRA, RRB, LLA, LLB;
    // class layout
    int acsA, acdA, acsAB, acsB, acdB, acm;
    // gene-flow settings
    int n_sac, l_inv, pgssA, pgdsA, pgssB, pgdsB;
    // reporting
    int ac, zz, n2, n3;

    float u, ageR11A, ageR11B, ageR12A, ageE1A, ageE1B;
    float pdA, pdB, a2, a3, ewsum_d, ewsum_m, ewsum;

    double l4RA[R], l4RB[R], l4EA[L], l4EB[L];
    float pcrossE[L];
    float evpA[NT][3], evpB[NT][3];

    int tt[NT], delta_d[NT], delta_m[NT], flag[7];

    float P[ACM][ACM];
    float m_gf[ACM], m_gft[ACM], m_sum[ACM];
    float h_d[ACM], h_m[ACM];
    float he_d[NT][ACM], he_m[NT][ACM];

    float ew_d[NT], ew_m[NT];
    float gstd_d[NT], gstd_m[NT];
    float ewst_d[NT], ewst_m[NT];
    float ewr_dd[NT], ewr_da[NT], ewr_mm[NT], ewr_ma[NT];
};

// The last class of the first blocks, from the block sizes of the layout:
// s1 = acsA + acdA, s2 = s1 + acsAB, s3 = s2 + acsB.
struct Blocks {
    int s1, s2, s3;
};
Blocks blocks(const Model& m);

// A real whose absolute value, widened to double, is below 1e-6 counts as
// zero: a trait whose two weights are both negligible is not reported.
bool negligible(float v);

// The components of trait k by its type tt[k]: direct (types 0 and 2),
// maternal (types 1 and 2).
bool hasdirect(const Model& m, int k);
bool hasmaternal(const Model& m, int k);
// Whether trait k has a weight: its two economic weights are not both
// negligible. Only such traits are reported and standardised.
bool hasweight(const Model& m, int k);
// The type of trait k, 1..35, as reset gives it: 0 direct only, 1 maternal
// only (a trait of the ewe), 2 direct and maternal.
int traittype(int k);

// The highest class that may be traced: the progeny classes after the
// parental blocks pass no genes on (one with one system, three with two).
int tracedbound(int acm, int prods);
int tracedbound(const Model& m);

// The pairs of alternative traits: flag[k] of INPUTVRD05.TXT names the
// trait of traitpairs[k] that counts in the sums of the standardisation.
// Both traits of a pair have the same components.
struct TraitPair {
    int first, second;
    bool direct, maternal; // the components the choice applies to
};
extern const TraitPair traitpairs[7]; // 1..6

// Sets every value to zero, then fills the trait types and the default
// inclusion of each trait component in the sums of the standardisation.
void reset(Model& m);

} // namespace kalp
