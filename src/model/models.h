#pragma once
// The tube models the program fits, each with its parameters, their bounds and its
// equations (volts and amperes throughout):
//
// koren-triode, koren-pentode: N. Koren, "Improved vacuum tube models for SPICE
//   simulations", Glass Audio 8(5), 1996 (the equations in curves/koren.h, with the
//   factor 2 of the published parameter tables). No screen current.
//
// dempwolf: K. Dempwolf and U. Zoelzer, "A physically-motivated triode model for circuit
//   simulations", DAFx-11, Paris, 2011:
//     Ik = G (ln(1 + exp(C (Vg + Va/mu))) / C)^gamma
//     Ig = Gg (ln(1 + exp(Cg Vg)) / Cg)^xi + Ig0
//     Ia = Ik - Ig
//   G, mu, gamma and C are fitted; the grid current keeps the published values of the
//   paper's 12AX7 (Gg 6.177e-4, Cg 9.901, xi 1.314, Ig0 8.025e-8), since a curve family
//   holds no grid current.
//
// derk, derke: D. Reefman, "Spice models for vacuum tubes using the uTracer", 2016:
//     E1 = (Vg2/Kp) ln(1 + exp(Kp (1/mu + Vg1/Vg2))),  Ik = E1^Ex (no factor 2)
//     Ia = Ik (1/Kg1 - 1/Kg2 + A Va/Kg1 - (alpha/Kg1 + alpha_s/Kg2) f(Va))
//     Is = Ik / Kg2 (1 + alpha_s f(Va)),  alpha = 1 - Kg1 (1 + alpha_s) / Kg2
//   with f(Va) = 1 / (1 + beta Va) for derk and exp(-(beta Va)^1.5) for derke, so that
//   the anode takes nothing at 0 V and the screen takes the cathode current there.
//   (alpha/Kg1 + alpha_s/Kg2 is 1/Kg1 - 1/Kg2 by the definition of alpha.) Where the
//   family holds no screen current, Kg2 and alpha_s are held at typical values: the
//   anode current alone does not tell Kg1 from Kg2.
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "curves/koren.h"

namespace anodix {

enum class ModelKind { KorenTriode, KorenPentode, Dempwolf, Derk, DerkE };

constexpr int kMostParameters = 8;
using Parameters = std::array<double, kMostParameters>;

struct ModelSpec {
    ModelKind kind;
    const char* key;         // its name in the program's output ("koren-triode")
    const char* title;       // "Koren triode"
    const char* convention;  // the equations' convention, in one line
    bool pentode;            // fits pentodes and beam tetrodes (else triodes)
    bool screenCurrent;      // gives a screen current
    int count;               // parameters
    std::array<const char*, kMostParameters> names;
    Parameters lower, upper;  // wide enough that no real tube meets them
};

const ModelSpec& Spec(ModelKind kind);
// Every model, triodes' first.
const std::vector<ModelKind>& AllModels();
std::optional<ModelKind> ModelByKey(std::string_view key);

// The published grid current of the Dempwolf-Zoelzer triode (their 12AX7).
struct DempwolfGrid {
    static constexpr double kGg = 6.177e-4, kCg = 9.901, kXi = 1.314, kIg0 = 8.025e-8;
};

// Anode and screen current (amperes) of a model at its parameters p.
template <typename T>
struct Currents {
    T anode, screen;
};

template <typename T>
Currents<T> ModelCurrents(ModelKind kind, const T* p, double va, double vg1, double vg2) {
    using std::exp;
    using std::pow;
    switch (kind) {
        case ModelKind::KorenTriode:
            return {KorenTriodeCurrent(p[0], p[1], p[2], p[3], p[4], va, vg1), T(0.0)};
        case ModelKind::KorenPentode:
            return {KorenPentodeCurrent(p[0], p[1], p[2], p[3], p[4], va, vg1, vg2), T(0.0)};
        case ModelKind::Dempwolf: {
            // G, mu, gamma, C
            const T ik =
                p[0] * PositivePower(SoftPlus(p[3] * (T(vg1) + T(va) / p[1])) / p[3], p[2]);
            const double ig =
                DempwolfGrid::kGg * std::pow(SoftPlus(DempwolfGrid::kCg * vg1) / DempwolfGrid::kCg,
                                             DempwolfGrid::kXi) +
                DempwolfGrid::kIg0;
            return {ik - T(ig), T(0.0)};
        }
        case ModelKind::Derk:
        case ModelKind::DerkE: {
            // mu, Ex, Kg1, Kp, Kg2, A, alpha_s, beta
            if (!(vg2 > 0.0)) return {T(0.0), T(0.0)};
            const T e1 = T(vg2) / p[3] * SoftPlus(p[3] * (T(1.0) / p[0] + T(vg1 / vg2)));
            const T ik = PositivePower(e1, p[1]);
            const T bva = p[7] * T(va > 0.0 ? va : 0.0);
            const T f = kind == ModelKind::Derk ? T(1.0) / (T(1.0) + bva) : exp(-pow(bva, 1.5));
            const T c1 = T(1.0) / p[2] - T(1.0) / p[4];
            const T anode = ik * (c1 + p[5] * T(va) / p[2] - c1 * f);
            const T screen = ik / p[4] * (T(1.0) + p[6] * f);
            return {anode, screen};
        }
    }
    return {T(0.0), T(0.0)};
}

// A model with its parameter values: the currents at any electrode voltages.
struct TubeModel {
    ModelKind kind = ModelKind::KorenTriode;
    Parameters p{};
    // The screen voltage the family was measured at, where it held one (pentodes).
    double screenVolts = 0.0;

    Currents<double> At(double va, double vg1, double vg2) const {
        return ModelCurrents(kind, p.data(), va, vg1, vg2);
    }
    double AnodeCurrent(double va, double vg1, double vg2) const { return At(va, vg1, vg2).anode; }
    const ModelSpec& Spec() const { return anodix::Spec(kind); }
};

TubeModel FromKoren(const KorenTube& tube);

}  // namespace anodix
