# AttrZel gives a game class the runtime's shortcuts; Module#attr_zel includes it.
module AttrZel
  def args
    $args
  end

  def zel
    $zel
  end

  def state
    $args.state
  end

  def temp_state
    $args.temp_state
  end

  def inputs
    $args.inputs
  end

  def outputs
    $args.outputs
  end

  def grid
    $args.grid
  end

  def geometry
    $args.geometry
  end

  def layout
    $args.layout
  end

  def easing
    $args.easing
  end

  def audio
    $args.audio
  end

  def events
    $args.events
  end

  def cvars
    $args.cvars
  end

  def passes
    $args.passes
  end

  def pixel_arrays
    $args.pixel_arrays
  end

  def keyboard
    $args.inputs.keyboard
  end

  def new_entity name, opts = {}, &block
    $args.state.new_entity name, opts, &block
  end

  def new_entity_strict name, opts = {}, &block
    $args.state.new_entity_strict name, opts, &block
  end

  def tick_count
    Kernel.tick_count
  end

  def global_tick_count
    Kernel.global_tick_count
  end
end

class Module
  def attr_zel
    include AttrZel
  end
end
