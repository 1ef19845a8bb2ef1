#include "model/models.h"

namespace anodix {

namespace {

constexpr double kBig = 1e7;

const std::array<ModelSpec, 5>& Specs() {
    static const std::array<ModelSpec, 5> specs = {{
        {ModelKind::KorenTriode,
         "koren-triode",
         "Koren triode",
         "Ia = 2 E1^Ex / Kg1 (amperes; the factor 2 of the published parameter tables)",
         false,
         false,
         5,
         {"mu", "Ex", "Kg1", "Kp", "Kvb"},
         {0.5, 0.5, 0.01, 0.01, 0.01},
         {1000.0, 5.0, kBig, 1e5, kBig}},
        {ModelKind::KorenPentode,
         "koren-pentode",
         "Koren pentode",
         "Ia = 2 E1^Ex / Kg1 atan(Va/Kvb) (amperes; the factor 2 of the published parameter "
         "tables)",
         true,
         false,
         5,
         {"mu", "Ex", "Kg1", "Kp", "Kvb"},
         {0.5, 0.5, 0.01, 0.01, 0.01},
         {1000.0, 5.0, kBig, 1e5, 1e5}},
        {ModelKind::Dempwolf,
         "dempwolf",
         "Dempwolf-Zoelzer triode",
         "Ia = G (ln(1 + exp(C (Vg + Va/mu)))/C)^gamma - Ig (amperes; G in A/V^gamma)",
         false,
         false,
         4,
         {"G", "mu", "gamma", "C"},
         {1e-9, 0.5, 0.5, 1e-3},
         {10.0, 1000.0, 5.0, 1e3}},
        {ModelKind::Derk,
         "derk",
         "Reefman Derk pentode",
         "Ik = E1^Ex (no factor 2), f(Va) = 1/(1 + beta Va); A and beta in 1/V",
         true,
         true,
         8,
         {"mu", "Ex", "Kg1", "Kp", "Kg2", "A", "alpha_s", "beta"},
         {0.5, 0.5, 0.01, 0.01, 0.01, -0.01, 0.0, 1e-6},
         {1000.0, 5.0, kBig, 1e5, 1e9, 1.0, 1e3, 10.0}},
        {ModelKind::DerkE,
         "derke",
         "Reefman DerkE pentode",
         "Ik = E1^Ex (no factor 2), f(Va) = exp(-(beta Va)^1.5); A and beta in 1/V",
         true,
         true,
         8,
         {"mu", "Ex", "Kg1", "Kp", "Kg2", "A", "alpha_s", "beta"},
         {0.5, 0.5, 0.01, 0.01, 0.01, -0.01, 0.0, 1e-6},
         {1000.0, 5.0, kBig, 1e5, 1e9, 1.0, 1e3, 10.0}},
    }};
    return specs;
}

}  // namespace

const ModelSpec& Spec(ModelKind kind) { return Specs()[static_cast<std::size_t>(kind)]; }

const std::vector<ModelKind>& AllModels() {
    static const std::vector<ModelKind> all = {ModelKind::KorenTriode, ModelKind::Dempwolf,
                                               ModelKind::KorenPentode, ModelKind::Derk,
                                               ModelKind::DerkE};
    return all;
}

std::optional<ModelKind> ModelByKey(std::string_view key) {
    for (const ModelSpec& s : Specs())
        if (key == s.key) return s.kind;
    return std::nullopt;
}

TubeModel FromKoren(const KorenTube& tube) {
    TubeModel m;
    m.kind = tube.pentode ? ModelKind::KorenPentode : ModelKind::KorenTriode;
    m.p = {tube.mu, tube.ex, tube.kg1, tube.kp, tube.kvb};
    m.screenVolts = tube.pentode ? tube.screenVolts : 0.0;
    return m;
}

}  // namespace anodix
