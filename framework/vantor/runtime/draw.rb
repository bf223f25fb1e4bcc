# What the engine asks the runtime for after every tick to pack the scene: the
# render passes and their header fields, pixel arrays and screenshots.
module Zel
  class Runtime
    module Draw
      def passes
        @args.passes
      end

      def target pass
        pass ? pass.target : nil
      end

      def render_width pass
        pass ? (pass.width || 0) : 0
      end

      def render_height pass
        pass ? (pass.height || 0) : 0
      end

      def render_transient pass
        pass ? (pass.transient ? true : false) : false
      end

      def take_screenshot
        !@args.outputs.screenshots.empty?
      end

      def pixel_arrays
        @args.pixel_arrays.each do |name, pa|
          __ffi_draw_command__ :upload_pixel_array, name, pa.width, pa.height, pa.pixels
        end
        nil
      end

      # Sends one command to the engine's FFI::Draw object; commands whose
      # natives this build lacks are skipped.
      def __ffi_draw_command__ name, *args
        return nil unless @ffi_draw.respond_to? name
        @ffi_draw.send name, *args
      end
    end
  end
end
