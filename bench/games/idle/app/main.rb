# Does nothing: the engine's own cost per tick, for pacing and memory at idle.
# Quits after ORV_BENCH_TICKS ticks when that is set.
def tick args
  limit = ($bench_ticks ||= ($zel.ffi_misc.getenv("ORV_BENCH_TICKS") || "0").to_i)
  $zel.request_quit if limit > 0 && args.state.tick_count >= limit
end
