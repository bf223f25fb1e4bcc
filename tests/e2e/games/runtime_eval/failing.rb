raise "the script failed"
