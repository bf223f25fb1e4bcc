def tick args
  puts "game tick ran"
end
