// Compiled once per instruction set (SSE4, AVX2, AVX-512, ...); the best one
// the processor has is chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "engine/harmonic_terms.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h

#include <hwy/contrib/math/math-inl.h>
#include <hwy/highway.h>

#include "engine/harmonic_terms.h"

HWY_BEFORE_NAMESPACE();
namespace kf {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The bounds below carry a factor 4 over the ones the tests measure.
void TermsKernel(const TermParams& p, const TermBlock& b, int32_t* term) {
    const hn::ScalableTag<double> d;
    const hn::Rebind<int32_t, decltype(d)> di;
    using V = hn::Vec<decltype(d)>;
    const size_t N = hn::Lanes(d);

    const V kCycle = hn::Set(d, 1048576.0), kInv = hn::Set(d, 1.0 / 1048576.0);
    const V one = hn::Set(d, 1.0), two = hn::Set(d, 2.0), four = hn::Set(d, 4.0), half = hn::Set(d, 0.5);
    const V zero = hn::Zero(d);
    const V f = hn::Set(d, p.f), k = hn::Set(d, p.k);
    const V level128 = hn::Set(d, p.level * 128.0), level = hn::Set(d, p.level), c128 = hn::Set(d, 128.0);
    const V u4 = hn::Set(d, 4 * kUlp);
    const V sinRel = hn::Set(d, 4 * kSinRel), sinAbs = hn::Set(d, 4 * kSinAbs);
    const V undecided = hn::Set(d, -2147483648.0);
    const V lim = hn::Set(d, 32768.0), nlim = hn::Set(d, -32768.0);
    const bool sine = p.code == 0 || p.code == 1 || p.code == 11;
    const V argFactor = hn::Set(d, p.code == 1 ? p.piK : p.twoPiK);
    // Where |a| >= aMin its error bound ea is at most rhoMax * |a|: the sine
    // below 2^-20 is left to the library, |Sine|'s 2|s| - 1 below 2^-10.
    const double sinEa = 4 * kSinRel + 4 * kSinAbs;
    const V aMin = hn::Set(d, !sine ? 0.0 : p.code == 1 ? 1.0 / 1024 : 1.0 / 1048576);
    const V rhoMax = hn::Set(d, !sine ? 0.0
                                      : p.code == 1 ? 2 * sinEa * 1024 + 4 * kUlp
                                                    : 4 * kSinRel + 4 * kSinAbs * 1048576);

    constexpr size_t kMaxLanes = 16;  // doubles in the widest x86 vector are 8
    double phiTail[kMaxLanes], cycTail[kMaxLanes], wTail[kMaxLanes];
    int32_t outTail[kMaxLanes];
    for (size_t i = 0; i < static_cast<size_t>(b.n); i += N) {
        const bool tail = i + N > static_cast<size_t>(b.n);
        const double *pp = b.phi + i, *pc = b.cycles + i, *pw = b.w + i;
        if (tail) {  // pad a short last vector with a harmless phase
            for (size_t l = 0; l < N; ++l) {
                const bool in = i + l < static_cast<size_t>(b.n);
                phiTail[l] = in ? pp[l] : 0.0;
                cycTail[l] = in ? pc[l] : 0.0;
                wTail[l] = in ? pw[l] : 1.0;
            }
            pp = phiTail, pc = cycTail, pw = wTail;
        }
        const V phi = hn::LoadU(d, pp);
        auto bad = hn::FirstN(d, 0);
        // Detuned phase G = Round(F*phi + F*j*2^20) modulo one cycle.
        V g = phi;
        if (!p.unity) {
            const V cyc = hn::LoadU(d, pc);
            const V t = hn::Add(hn::Mul(f, phi), hn::Mul(hn::Mul(f, cyc), kCycle));
            bad = hn::Or(bad, hn::Not(hn::Lt(hn::Abs(t), hn::Set(d, 2251799813685248.0))));
            g = hn::Round(t);
            g = hn::Sub(g, hn::Mul(hn::Floor(hn::Mul(g, kInv)), kCycle));
        }
        const V kg = hn::Mul(k, g);
        const V xk = hn::Mul(hn::Sub(kg, hn::Mul(hn::Floor(hn::Mul(kg, kInv)), kCycle)), kInv);

        // Waveform value a and a bound ea on its distance from the library's.
        V a, ea;
        if (sine) {
            const V s = hn::Sin(d, hn::Mul(hn::Mul(argFactor, g), kInv));
            const V es = hn::MulAdd(sinRel, hn::Abs(s), sinAbs);
            if (p.code == 0) {
                a = s, ea = es;
            } else if (p.code == 1) {
                a = hn::Sub(hn::Mul(two, hn::Abs(s)), one);
                ea = hn::MulAdd(u4, hn::Abs(a), hn::Add(es, es));
            } else {
                const auto pos = hn::Lt(xk, half);
                a = hn::IfThenElseZero(pos, s);
                ea = hn::IfThenElseZero(pos, es);
            }
        } else {
            ea = zero;
            if (p.code == 3) a = hn::Sub(hn::Abs(hn::Sub(two, hn::Mul(four, xk))), one);
            else if (p.code == 4) a = hn::Sub(hn::Mul(two, xk), one);
            else a = hn::IfThenElse(hn::Lt(xk, half), hn::Sub(one, hn::Mul(two, xk)), hn::Sub(hn::Mul(two, xk), two));
        }

        // Shaping sign(a)*|a|^w as exp(w*log|a|).
        if (!p.unbent) {
            const V w = hn::LoadU(d, pw);
            const auto bend = hn::And(hn::Ne(w, one), hn::Ne(a, zero));
            const V absA = hn::Abs(a);
            const V z = hn::Mul(w, hn::Log(d, hn::IfThenElse(bend, absA, one)));
            const V e = hn::Exp(d, z);
            // Relative error: |w| * (error of a)/|a| through the log, the
            // functions' own errors, and the roundings of both evaluations.
            // (error of a)/|a| is at most rhoMax wherever |a| >= aMin.
            const V rel = hn::Mul(hn::Set(d, 1.001),
                                  hn::MulAdd(hn::Abs(w), rhoMax,
                                             hn::MulAdd(hn::Set(d, 4 * 6 * kUlp), hn::Abs(z), hn::Set(d, 4 * 5 * kUlp))));
            bad = hn::Or(bad, hn::And(bend, hn::Not(hn::Lt(hn::Abs(z), hn::Set(d, 700.0)))));
            bad = hn::Or(bad, hn::And(bend, hn::Not(hn::Lt(rel, hn::Set(d, 1e-4)))));
            // Near zero the sine's error is not relative; and a zero the
            // library might not see as zero cannot be bent safely.
            bad = hn::Or(bad, hn::And(hn::Ne(w, one), hn::And(hn::Lt(absA, aMin), hn::Gt(ea, zero))));
            const V bent = hn::CopySign(e, a);
            a = hn::IfThenElse(bend, bent, a);
            ea = hn::IfThenElse(bend, hn::Mul(rel, hn::Abs(bent)), ea);
        }
        if (p.code == 11) {
            a = hn::Sub(a, hn::Set(d, 0.35));
            ea = hn::MulAdd(u4, hn::Abs(a), ea);
        }
        const V tv = hn::Mul(hn::Mul(level, a), c128);
        const V etv = hn::MulAdd(level128, ea, hn::MulAdd(u4, hn::Abs(tv), hn::Set(d, 1e-300)));
        const V dist = hn::Abs(hn::Sub(hn::Sub(tv, hn::Floor(tv)), half));
        bad = hn::Or(bad, hn::Not(hn::Gt(dist, etv)));  // also NaN
        // Beyond full scale the library path decides (32-bit values pass as they are).
        bad = hn::Or(bad, hn::Not(hn::Le(hn::Abs(tv), lim)));
        const V r = hn::Round(hn::Min(hn::Max(tv, nlim), lim));
        const auto out = hn::DemoteTo(di, hn::IfThenElse(bad, undecided, r));
        if (tail) {
            hn::StoreU(out, di, outTail);
            for (size_t l = 0; i + l < static_cast<size_t>(b.n); ++l) term[i + l] = outTail[l];
        } else {
            hn::StoreU(out, di, term + i);
        }
    }
}

template <int kFn>
void MapKernel(const double* x, double* y, int n) {
    const hn::ScalableTag<double> d;
    const size_t N = hn::Lanes(d);
    double in[16], out[16];
    size_t i = 0;
    for (; i + N <= static_cast<size_t>(n); i += N) {
        const auto v = hn::LoadU(d, x + i);
        hn::StoreU(kFn == 0 ? hn::Sin(d, v) : kFn == 1 ? hn::Log(d, v) : hn::Exp(d, v), d, y + i);
    }
    for (; i < static_cast<size_t>(n); i += N) {  // the short tail through a padded copy
        for (size_t l = 0; l < N; ++l) in[l] = i + l < static_cast<size_t>(n) ? x[i + l] : 1.0;
        const auto v = hn::LoadU(d, in);
        const auto r = kFn == 0 ? hn::Sin(d, v) : kFn == 1 ? hn::Log(d, v) : hn::Exp(d, v);
        hn::StoreU(r, d, out);
        for (size_t l = 0; l < N && i + l < static_cast<size_t>(n); ++l) y[i + l] = out[l];
    }
}
void SinKernel(const double* x, double* y, int n) { MapKernel<0>(x, y, n); }
void LogKernel(const double* x, double* y, int n) { MapKernel<1>(x, y, n); }
void ExpKernel(const double* x, double* y, int n) { MapKernel<2>(x, y, n); }

const char* TargetKernel() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace kf
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kf {

HWY_EXPORT(TermsKernel);
HWY_EXPORT(SinKernel);
HWY_EXPORT(LogKernel);
HWY_EXPORT(ExpKernel);
HWY_EXPORT(TargetKernel);

void harmonicTermsFast(const TermParams& p, const TermBlock& b, int32_t* term) {
    HWY_DYNAMIC_DISPATCH(TermsKernel)(p, b, term);
}
const char* harmonicTermsTarget() { return HWY_DYNAMIC_DISPATCH(TargetKernel)(); }
void fastSinArray(const double* x, double* y, int n) { HWY_DYNAMIC_DISPATCH(SinKernel)(x, y, n); }
void fastLogArray(const double* x, double* y, int n) { HWY_DYNAMIC_DISPATCH(LogKernel)(x, y, n); }
void fastExpArray(const double* x, double* y, int n) { HWY_DYNAMIC_DISPATCH(ExpKernel)(x, y, n); }

}  // namespace kf
#endif
