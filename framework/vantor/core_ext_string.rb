# The engine's vocabulary on Strings: wrapping into lines, indenting and
# quoting, trimming and character edits.
class String
  # Lines of at most width characters, broken at spaces where possible.
  def wrapped_lines width
    String.wrapped_lines self, width
  end

  def self.wrapped_lines text, width
    out = []
    text.to_s.split("\n", -1).each do |paragraph|
      line = ""
      paragraph.split(" ").each do |word|
        while word.length > width
          out << line unless line.empty?
          line = ""
          out << word[0, width]
          word = word[width..-1]
        end
        if line.empty?
          line = word
        elsif line.length + 1 + word.length <= width
          line = "#{line} #{word}"
        else
          out << line
          line = word
        end
      end
      out << line
    end
    out
  end

  def wrap width
    wrapped_lines(width).join("\n")
  end

  def multiline?
    include? "\n"
  end

  def indent_lines count, indent_char = " "
    split("\n", -1).map { |l| (indent_char * count) + l }.join("\n")
  end

  def indent count, indent_char: " ", pad_line_with_space: false
    pad = indent_char * count
    pad += " " if pad_line_with_space
    split("\n", -1).map { |l| pad + l }.join("\n")
  end

  def quote
    "\"#{self}\""
  end

  def trim
    strip
  end

  def ltrim
    lstrip
  end

  def rtrim
    rstrip
  end

  def trim!
    strip!
    self
  end

  def ltrim!
    lstrip!
    self
  end

  def rtrim!
    rstrip!
    self
  end

  def char_byte
    bytes.first
  end

  def insert_character_at index, char
    self[0, index].to_s + char + self[index..-1].to_s
  end

  def excluding_character_at index
    self[0, index].to_s + self[(index + 1)..-1].to_s
  end

  def excluding_last_character
    self[0..-2]
  end

  def end_with_bang?
    end_with? "!"
  end

  def without_ending_bang
    end_with_bang? ? self[0..-2] : self
  end
end
