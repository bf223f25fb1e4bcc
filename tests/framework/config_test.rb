# Configuration variables as scripts see them, platform categories and the
# construction of the runtime.

test "Zel::Cvar reads, writes and describes a registered cvar" do
  r = make_runtime
  misc = r.ffi_misc
  assert misc.cvar_register("test.speed", "how fast", "int", "3")
  c = ZelCvar.new("test.speed", "how fast", "int")
  assert_equal 3, c.value
  c.value = 8
  assert_equal 8, misc.cvar_get("test.speed")
  assert_equal({ name: "test.speed", value: 8, description: "how fast", type: "int", locked: false },
               c.serialize)
  assert_equal true, ZelCvar.new("game_metadata.gameid", "", "string").locked
end

test "Cvars forwards to $cvars" do
  make_runtime
  $cvars["a"] = 1
  assert_equal ["a"], Cvars.keys
  assert_equal 1, Cvars["a"]
end

test "platform? answers the categories of the current platform" do
  [
    ["Linux", [:desktop, :linux, :nix], [:mobile, :web, :steam]],
    ["Windows", [:desktop, :windows, :win], [:linux]],
    ["Mac OS X", [:desktop, :macos, :osx, :mac, :macosx], [:windows]],
    ["iOS", [:mobile, :ios, :touch], [:desktop]],
    ["Android", [:mobile, :android, :touch], [:ios]],
    ["Emscripten", [:web, :wasm, :html, :emscripten], [:touch]],
    ["Steam Deck", [:steamdeck, :steam_deck, :steam], [:desktop]],
  ].each do |platform, yes, no|
    r = make_runtime platform: platform
    yes.each { |c| assert r.platform?(c), "#{platform} #{c}" }
    no.each { |c| refute r.platform?(c), "#{platform} #{c}" }
  end
  assert make_runtime(platform: "Linux").platform?("iOS")
end

test "a steam build adds the steam categories to desktops" do
  write_game_file "metadata/orvane_steam_build", "1"
  assert make_runtime(platform: "Linux").platform?(:steam_desktop)
  assert make_runtime(platform: "Windows").platform?(:steamdesktop)
  refute make_runtime(platform: "Linux").platform?(:steamdesktop)
end

test "construction binds the globals and starts in release mode" do
  r = make_runtime
  assert_equal [r, r, r.args, r.console], [$zel, $runtime, $args, $console]
  assert_equal [false, nil, nil], [$nil_punning_disabled, $trace_puts, $remote_hotload_client]
  assert_equal :orvane_started, r.load_status
  assert r.rcb_release_mode
  assert_equal 1, r.simulation_speed
  assert_includes read_written("logs/puts.log"), "#"
end

test "a non-empty vantor/top_level.rb beside the game means development mode" do
  write_game_file "vantor/top_level.rb", "# framework sources\n"
  r = make_runtime
  refute r.rcb_release_mode
  assert_includes log_text, "3 [Engine] WARNING: YOU ARE IN AN UNOPTIMIZED DEV MODE."
  assert_includes r.hotload_files, "vantor/runtime.rb"
end
