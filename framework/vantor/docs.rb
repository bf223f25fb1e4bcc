# Documentation texts attached to classes. The texts themselves and their HTML
# and Markdown export are not part of the engine image.
module Docs
  def docs
    "* DOCS: no documentation is available for #{self}."
  end
end

module DocsOrganizer
  def self.sections
    []
  end
end
