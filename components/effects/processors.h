// The processor of each effect kind. The component module registers one class
// per kind; each makes its processor through the function named here.
#pragma once

#include <memory>

#include "processor.h"

namespace qel::effects {

// Level: level/.
std::unique_ptr<Processor> MakeAmplify();
std::unique_ptr<Processor> MakeFade();
std::unique_ptr<Processor> MakeNormalize();
std::unique_ptr<Processor> MakeInvert();
std::unique_ptr<Processor> MakeReverse();
std::unique_ptr<Processor> MakeSilence();
std::unique_ptr<Processor> MakeEnvelope();
std::unique_ptr<Processor> MakeDynamics();  // compressor (P4 = 1) and expander (P4 = 2)

// Time-based (time/): delay lines and reverberation.
std::unique_ptr<Processor> MakeDelay();
std::unique_ptr<Processor> MakeModulatedDelay();  // flanger (P7 = 1) and chorus (P7 = 2)
std::unique_ptr<Processor> MakeVibrato();
std::unique_ptr<Processor> MakePhaser();
std::unique_ptr<Processor> MakeWahWah();
std::unique_ptr<Processor> MakeReverb();

// Filters (filters/).
std::unique_ptr<Processor> MakeFilter();     // the seven single filters, chosen by P3
std::unique_ptr<Processor> MakeEqualizer();  // a bank of peaking filters

// Pitch and time (pitch/).
std::unique_ptr<Processor> MakePitchShifter();
std::unique_ptr<Processor> MakeTimeStretcher();
std::unique_ptr<Processor> MakeResampler();

// Spectral (spectral/).
std::unique_ptr<Processor> MakeNoiseRemover();
std::unique_ptr<Processor> MakeFftFilter();
std::unique_ptr<Processor> MakeFirFilter();

// Generators (generators/): silence, noise, periodic signals, chirps.
std::unique_ptr<Processor> MakeGenerator();

// Whole-frame kinds (analysis/).
std::unique_ptr<FrameProcessor> MakeSilenceRemover();
std::unique_ptr<FrameProcessor> MakeTempo();

}  // namespace qel::effects
