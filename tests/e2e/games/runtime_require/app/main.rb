# Requires app/second.rb, whose value the test changes on disk while the game
# runs, and tries a file that does not exist.
require "app/second.rb"

def boot args
  begin
    require "app/nope"
  rescue Exception => e
    puts "require failed: #{e.message.split("\n")[1]}"
  end
end

def tick args
  v = second_value
  puts "value #{v}" if v != $last_value
  $last_value = v
end
