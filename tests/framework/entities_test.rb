# Open and strict entities, the game state built from them, and nil punning.

test "state.player.x = 5 on a fresh state creates player and sets x" do
  r = booted_runtime <<~RUBY
    def tick args
      args.state.player.x = 5 if args.tick_count == 0
      $seen = [args.state.player.x, args.state.player.class, args.state.player.entity_name]
    end
  RUBY
  engine_ticks r, 2
  assert_equal [5, Zel::OpenEntity, :player], $seen
end

test "a game's top-level methods do not break attributes of the same name" do
  r = booted_runtime <<~RUBY
    def player args
      raise "the game's own player"
    end
    def display args
      raise "the game's own display"
    end
    def then
      raise "the game's own then"
    end
    def tick args
      args.state.player ||= { x: 1 }
      args.state.display = :on
      args.state.then = 3
      args.state.score ||= 0
      args.state.score += 1
      $seen = [args.state.player, args.state.display, args.state.then, args.state.score]
    end
  RUBY
  engine_ticks r, 2
  assert_equal [{ x: 1 }, :on, 3, 2], $seen
end

test "an open entity reads, writes, indexes and tells what it is" do
  e = Zel::OpenEntity.new(a: 1, "b" => 2)
  assert_equal [1, 2, nil], [e.a, e.b, e.c]
  e.c = 3
  e[:d] = 4
  e["f"] = 6
  assert_equal [3, 4, 6, 4], [e[:c], e.d, e.f, e["d"]]
  assert e.is_a?(Zel::OpenEntity)
  assert e.kind_of?(BasicObject)
  refute e.is_a?(Hash)
  assert_equal Zel::OpenEntity, e.class
  assert e.respond_to?(:a)
  assert e.respond_to?(:anything=)
  assert_equal({ entity_id: e.entity_id, a: 1, b: 2, c: 3, d: 4, f: 6 }, e.as_hash)
  assert_includes [e].inspect, ":a=>1"
  assert_includes "#{e}", ":c=>3"
  h = { e => :found }
  assert_equal :found, h[e]
  copy = e.dup
  assert_equal [1, 6], [copy.a, copy.f]
  refute_equal_ids = copy.entity_id != e.entity_id
  assert refute_equal_ids
  assert_equal 7, e.send(:g=, 7)
  assert_equal 7, e.send(:g)
  assert_raises(NoMethodError) { e.h(1, 2) }
end

test "entities are touched by reads and writes and get ids from one counter" do
  Zel::Entity.__reset_id__!
  a = Zel::OpenEntity.new
  b = Zel::StrictEntity.new(:ship, speed: 1)
  assert_equal [1, 2], [a.entity_id, b.entity_id]
  refute a.entity_touched
  a.x
  assert a.entity_touched
  a.entity_touched = false
  a.y = 1
  assert a.entity_touched
  a.clear!
  assert_equal [3], a.as_hash.values
end

test "new_entity gives a named open entity; new_entity_strict a strict one" do
  r = make_runtime
  e = r.args.state.new_entity(:enemy, hp: 3) { |x| x.speed = 2 }
  assert_equal [:enemy, :enemy, 3, 2], [e.entity_name, e.entity_type, e.hp, e.speed]
  s = r.args.state.new_entity_strict(:bullet, x: 1, y: 2) { |b| b.damage = 5 }
  assert_equal [:bullet, 1, 2, 5], [s.entity_name, s.x, s.y, s.damage]
  s.x = 10
  assert_equal 10, s.x
  assert_equal [:x, :y, :damage], s.entity_keys
  assert Zel::Entity.strict_entities[s.entity_id].equal?(s)
end

test "a strict entity refuses properties it was not created with" do
  s = Zel::StrictEntity.new(:ship, x: 1)
  other = Zel::StrictEntity.new(:rock, size: 3)
  [-> { s.y }, -> { s.y = 2 }, -> { s[:y] }, -> { s.size }, -> { s.size = 1 }].each do |call|
    e = assert_raises(RuntimeError) { call.call }
    assert_includes e.message, "* ERROR:\nThe *strict* entity with name :ship doesn't have the property "
    assert_includes e.message, "When converting\n"
  end
  assert_equal 3, other.size
  refute s.respond_to?(:size)
  assert other.respond_to?(:size)
  assert s.respond_to?(:x=)
  assert_equal({ entity_id: s.entity_id, entity_name: :ship, x: 1 }, s.as_hash)
end

test "a strict entity's property is not hidden by a game's top-level method" do
  Object.class_eval { def speed args; raise "the game's own speed"; end }
  s = Zel::StrictEntity.new(:car, speed: 9)
  assert_equal 9, s.speed
ensure
  Object.class_eval { remove_method :speed }
end

test "nil punning: arithmetic on a missing attribute warns, then raises" do
  r = booted_runtime <<~RUBY
    $results = []
    def tick args
      begin
        $results << (args.state.score + 1)
      rescue NoMethodError => e
        $results << e.class
      end
    end
  RUBY
  engine_ticks r, 7
  assert_equal [nil, nil, nil, nil, nil, NoMethodError], $results.first(6)
  text = log_text
  assert_equal 2, text.split("* Warning: Method invoked on nil.").length, "warned once"
  assert_includes text, "~score~"
  assert_includes text, "suppressed"
end

test "nil punning: writers, indexing and switching it off" do
  r = make_runtime
  st = r.args.state
  v = st.lives
  assert_equal 3, (v.lives = 3)
  assert_equal 3, st.lives, "the writer of the same attribute stores into the hash"
  e = assert_raises(NoMethodError) { st.items[:sword] }
  assert_includes e.message, "~items~"
  assert_equal nil, st.inventory[0]
  assert_includes log_text, "Initialise ~inventory~ as an Array or a Hash"
  st.flag = false
  st.flag.size = 2
  assert_equal 2, st.flag.size, "false puns like nil"
  r.disable_nil_punning!
  assert_raises(NoMethodError) { st.missing.x = 1 }
  r.enable_nil_punning!
  st.missing
  nil.unassign_method_missing
  assert_raises(NoMethodError) { nil.anything }
end

test "a Hash state at boot switches nil punning off" do
  r = booted_runtime <<~RUBY
    def boot args
      args.state = {}
    end
    def tick args
      $seen = [args.state.class, $nil_punning_disabled]
    end
  RUBY
  engine_ticks r, 1
  assert_equal [Hash, true], $seen
end
