# Short notifications for the developer. The message is kept for its duration
# and written to the log.
# FIXME: drawing the notification bar.
module Zel
  class Runtime
    module Notify
      def notify! message, duration = 300
        return if @production
        return if @notification_message == message
        @notification_message = message
        @notification_at = Kernel.global_tick_count
        @notification_duration = duration
        log_debug "Notification: #{message}" unless message.to_s.empty?
      end

      alias_method :notify, :notify!

      def notify_subdued!
        return if @production
        @notification_message = ""
        @notification_at = Kernel.global_tick_count
        @notification_duration = 60
      end

      def notify_extended! message: nil, duration: 300, env: nil, a: nil, overwrite: false
        return if @production && env != :prod
        @notification_message = nil if overwrite
        notify! message, duration
      end

      def notification_message
        @notification_message
      end

      def tick_notification
        return unless @notification_message
        if @notification_at && Kernel.global_tick_count - @notification_at > @notification_duration
          @notification_message = nil
        end
      end
    end
  end
end
