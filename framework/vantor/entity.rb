# The entity id counter shared by open and strict entities.
module Zel
  module Entity
    @id = 0
    @strict_entities = {}

    def self.id!
      @id += 1
    end

    def self.__reset_id__!
      @id = 0
    end

    def self.strict_entities
      @strict_entities
    end

    def self.strict_entities_clear
      @strict_entities.clear
    end
  end
end
