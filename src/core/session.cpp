// The session: its parts built around one shared state, and the start-up
// sound they begin with.
#include "core/session.h"

#include "core/session_state.h"

namespace kf {

Session::Session(uint32_t randomSeed)
    : state_(std::make_unique<SessionState>(randomSeed)),
      params_(*state_, *this),
      live_(*state_, *this),
      files_(*state_, *this),
      tools_(*state_, *this),
      history_(*state_, *this),
      render_(*state_, *this) {
    SessionState& st = *state_;
    {
        SessionState::Lock lock(st.mutex);
        // Build the first timbre from the controls, give it the oscillator
        // defaults, and start both timbres identical.
        st.captureTimbre(st.timbres[0]);
        for (auto& o : st.timbres[0].oscillators) o = OscillatorRecord::defaults();
        st.timbres[1] = st.timbres[0];
        st.setOscillatorParams();
        st.sample1.load(findDefaultSample("16tone3.smp"), st.panel.sample1StartPos);
        st.sample2.load(findDefaultSample("16tone2.smp"), st.panel.sample2StartPos);
        st.defaultPreset = st.currentPreset();
        st.applyPreset(st.defaultPreset, true);
        st.fillControls(st.current());
    }
    history_.markSaved();
    std::lock_guard<std::mutex> queue(st.notifyMutex);
    st.pending.clear();  // nothing has been shown yet
}

// The parts go first (the render thread before all), then the state they share.
Session::~Session() = default;

}  // namespace kf
