# Zel::Log: the log-file and once-only forms of the game's log helpers.
module Zel
  module Log
    @once = {}

    def self.__production__
      $zel && $zel.respond_to?(:production) && $zel.production
    end

    # Appends the lines to "logs/all.log" (not in production) and logs each.
    def self.puts message_id, message = nil
      message, message_id = message_id, nil if message.nil?
      lines = message.to_s.split("\n", -1)
      if $zel && !__production__ && $zel.respond_to?(:ffi_file)
        $zel.ffi_file.append_root "logs/all.log", lines.map { |l| "#{l}\n" }.join
      end
      lines.each { |l| log_info l }
      nil
    end

    def self.puts_important *lines, message_code: nil
      puts message_code, lines.flatten.join("\n")
    end

    def self.puts_info title, *more
      log_info "* INFO: #{__title__(title)}#{__more__(more)}"
    end

    def self.puts_error title, *more
      log_error "* ERROR: #{__title__(title)}#{__more__(more)}"
    end

    def self.__title__ title
      title = title.to_s
      title.include?("\n") ? "\n#{headline(title)}" : title
    end

    def self.__more__ more
      more.empty? ? "" : "\n" + more.map(&:to_s).join("\n")
    end

    def self.__once_text__ id, message, include_caller
      text = ["", message.to_s, "", "[Message ID: #{id}]", ""]
      text.insert(2, caller.to_a.first(3).join("\n")) if include_caller
      text.join("\n")
    end

    def self.puts_once id, message = nil, include_caller: false
      message, id = id, id if message.nil?
      return nil if @once[id]
      @once[id] = true
      log_info __once_text__(id, message, include_caller)
      nil
    end

    def self.puts_once_info id, message = nil
      puts_once id, message
    end

    def self.puts_once_important id, message = nil
      message, id = id, id if message.nil?
      return nil if @once[id]
      @once[id] = true
      puts_important __once_text__(id, message, false)
      nil
    end

    def self.headline text
      lines = text.to_s.split("\n")
      (["* #{lines.first}"] + lines.drop(1).map { |l| "  #{l}" }).join("\n")
    end

    def self.dynamic_block text
      "#+begin_src\n#{text}\n#+end_src"
    end
  end
end
