# Registers a cvar and reboots at tick 10; after the reboot every Ruby object
# is new and $cvars holds the cvar again.
$created_at_load = Object.new

def boot args
  if $cvars.key? "game.e2e_custom"
    puts "rebooted: cvar=#{$cvars['game.e2e_custom'].value} old_state=#{args.state.marker.inspect}"
    $zel.request_quit
  else
    puts "first boot"
    $zel.ffi_misc.cvar_register "game.e2e_custom", "set before the reboot", "int", "5"
  end
end

def tick args
  args.state.marker = :first_run
  $zel.reboot if args.tick_count == 10
end
