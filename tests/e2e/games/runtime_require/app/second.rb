def second_value
  1
end
