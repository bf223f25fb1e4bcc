# Input recording and replay. The runtime asks the recorder before and after
# every game tick; without a recording or a replay both hooks do nothing.
# FIXME: recording inputs to a replay file and replaying one.
module Zel
  class Recording
    def initialize runtime
      @runtime = runtime
      @is_recording = false
      @is_replaying = false
    end

    def is_recording?
      @is_recording
    end

    def is_replaying?
      @is_replaying
    end

    def tick_before
    end

    def tick_after
    end
  end

  class Replay
  end
end
