# Runner for the game's own test methods: top-level methods named test_*
# (only focus_test_* ones when any exist), each called with (args, assert).
module Zel
  class Tests
    attr_reader :passed, :inconclusive, :failed

    def initialize
      @passed = []
      @inconclusive = []
      @failed = []
      @running = false
      @inconclusive_note_shown = false
    end

    def running?
      @running
    end

    def test_methods
      names = $top_level.methods.map(&:to_s).select { |m| m.start_with?("test_") || m.start_with?("focus_test_") }
      focused = names.select { |m| m.start_with? "focus_test_" }
      (focused.empty? ? names : focused).uniq.sort.map(&:to_sym)
    end

    def start
      log "* TEST: zel.test.start has been invoked."
      methods = test_methods
      if methods.empty?
        log "No tests were found. To create a test. Define a method\n" \
            "that begins with test_. For example:\n" \
            "#+begin_src\n" \
            "def test_game_over args, assert\n" \
            "\n" \
            "end\n" \
            "#+end_src\n"
        return
      end
      @running = true
      methods.each { |m| run_test m }
      print_summary
    ensure
      @running = false
    end

    def run_test name
      Entity.__reset_id__!
      args = Args.new($zel, $zel.recording)
      assert = Assert.new
      log "** Running: #{name}"
      unless Tests.takes_two_arguments? $top_level.method(name).arity
        signature_incorrect name
        return
      end
      begin
        $top_level.send name, args, assert
        if assert.assertion_performed
          log "Passed."
          @passed << { name: name }
        else
          log "Inconclusive."
          @inconclusive << { name: name }
        end
      rescue Exception => e
        if e.message.start_with?("'#{name}': wrong number of arguments")
          signature_incorrect name
        else
          log "Failed."
          @failed << { name: name, exception: e }
        end
      end
    end

    def self.takes_two_arguments? arity
      arity == 2 || (arity < 0 && (-arity - 1) <= 2)
    end

    def signature_incorrect name
      log "TEST METHOD INVALID:\n" \
          "The test method ~#{name}~ must take two parameters:\n" \
          "#+begin_src\n" \
          "def #{name} args, assert\n" \
          "end\n" \
          "#+end_src\n" \
          "If this method is not meant to be a test, rename it.\n"
      @failed << { name: name, exception: ArgumentError.new("'#{name}': wrong number of arguments") }
    end

    def any_failed?
      !@failed.empty?
    end

    def print_summary
      log "** Summary"
      log "*** Passed"
      log "#{@passed.length} test(s) passed."
      @passed.each { |t| log "**** :#{t[:name]}" }
      log "*** Inconclusive"
      if !@inconclusive.empty? && !@inconclusive_note_shown
        @inconclusive_note_shown = true
        log "NOTE FOR INCONCLUSIVE TESTS: No assertion was performed in the test.\n" \
            "Add assert.ok! at the end of the test if you are using your own assertions.\n"
      end
      log "#{@inconclusive.length} test(s) inconclusive."
      @inconclusive.each { |t| log "**** :#{t[:name]}" }
      log "*** Failed"
      log "#{@failed.length} test(s) failed."
      @failed.each do |t|
        text = t[:exception].message.gsub("* ERROR:", "").strip
        trace = t[:exception].backtrace.to_a.map { |l| "- #{l}" }.join("\n")
        log "**** Test name: :#{t[:name]}\n#{text}\n#{trace}"
      end
    end

    def clear_summary
      @passed.clear
      @inconclusive.clear
      @failed.clear
    end

    def log text
      $zel ? $zel.log_info(text) : puts(text)
    end
  end
end
